// Small model files written for a test into a scratch folder of its own,
// removed again with the folder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/model_open.h"

class ScratchFolder {
public:
    ScratchFolder() {
        // A fresh name on every system (mkdtemp is POSIX only).
        std::random_device random;
        std::error_code error;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            std::filesystem::path candidate =
                std::filesystem::temp_directory_path(error) / ("duplexa-models-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, error)) path_ = candidate.generic_string();
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }

    // Writes bytes to name inside the folder; returns the full path.
    std::string write(const std::string& name, const std::string& bytes) const {
        std::string full = path_ + "/" + name;
        if (std::FILE* f = std::fopen(full.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return full;
    }

private:
    std::string path_;
};

// The test object's seven quads as an OBJ, every coordinate times `scale`
// plus `offset`: one vertex per corner, one face per quad.
inline std::string test_object_obj(float scale, const float offset[3]) {
    static const float corners[28][3] = {
        {-0.5f, -1, 3}, {0.5f, -1, 3}, {1, 1, 1},    {-1, 1, 1},   {-1, -1, 1}, {1, -1, 1},  {1, 1, 1},
        {-1, 1, 1},     {-1, -1, -1},  {-1, 1, -1},  {1, 1, -1},   {1, -1, -1}, {-1, 1, -1}, {-1, 1, 1},
        {1, 1, 1},      {1, 1, -1},    {-1, -1, -1}, {1, -1, -1},  {1, -1, 1},  {-1, -1, 1}, {1, -1, -1},
        {1, 1, -1},     {1, 1, 1},     {1, -1, 1},   {-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1},  {-1, 1, -1},
    };
    std::string text = "# the test object, moved and scaled\n";
    char line[96];
    for (const auto& c : corners) {
        std::snprintf(line, sizeof line, "v %.9g %.9g %.9g\n", c[0] * scale + offset[0], c[1] * scale + offset[1],
                      c[2] * scale + offset[2]);
        text += line;
    }
    for (int q = 0; q < 7; ++q) {
        std::snprintf(line, sizeof line, "f %d %d %d %d\n", 4 * q + 1, 4 * q + 2, 4 * q + 3, 4 * q + 4);
        text += line;
    }
    return text;
}

// A binary STL of the given triangles (9 floats each), with a header count
// that may claim otherwise.
inline std::string binary_stl(const std::vector<float>& triangles, std::uint32_t declared) {
    std::string bytes(80, ' ');
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(declared >> (8 * i)));
    for (std::size_t t = 0; t + 9 <= triangles.size(); t += 9) {
        float record[12] = {0, 0, 0};
        for (int i = 0; i < 9; ++i) record[3 + i] = triangles[t + i];
        bytes.append(reinterpret_cast<const char*>(record), sizeof record);
        bytes.append(2, '\0');
    }
    return bytes;
}

inline std::string binary_stl(const std::vector<float>& triangles) {
    return binary_stl(triangles, static_cast<std::uint32_t>(triangles.size() / 9));
}

// Opens a model file as a drop does and waits for the worker's answer: true
// when the model arrived, false after its box.
inline bool open_model_now(const std::string& path) {
    open_model_file(path.c_str());
    return finish_model_file();
}
