// Model files through Assimp. The importer is a library that throws: every
// exception stops at this layer and becomes a reason. Every file it opens
// goes through FileSystem below: regular files only, each under the size
// limit, its bytes counted for the progress.
#include "model/model_file.h"

#include "model/scene_look.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "platform/file.h"

// 1 GiB of file: the importers read a whole file into memory and build a
// scene several times its size. 10 million faces and 32 million vertices:
// a binary STL of the largest size opened has 21 million faces, and 32
// million vertices take 768 MiB in our arrays alone (positions and
// normals), beyond which llvmpipe needs seconds per frame anyway.
const ModelLimits model_limits = {std::uint64_t(1) << 30, {10000000, 32000000}};

namespace {

std::string count_text(const char* format, std::uint64_t a, std::uint64_t b) {
    char text[200];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
    return text;
}

std::string refusal(const char* what, std::uint64_t declared, std::uint64_t limit) {
    return count_text((std::string("The file declares %llu ") + what + "; this viewer opens at most %llu.").c_str(),
                      declared, limit);
}

// ---- Opening files

// Why a file is not opened, said of the file: "It " or "..., which " goes
// before it.
bool refuse(std::string* why, const char* text) {
    *why = text;
    return false;
}

bool cannot_open(std::string* why) {
    *why = std::string("cannot be opened: ") + std::strerror(errno) + ".";
    return false;
}

// Opens path (UTF-8) for reading when it is a regular file of at most
// max_bytes; otherwise null and why.
std::FILE* open_regular(const char* path, std::uint64_t max_bytes, std::uint64_t* size, std::string* why) {
    FileProblem problem = FileProblem::none;
    std::FILE* file = open_regular_file(path, max_bytes, size, &problem);
    switch (problem) {
    case FileProblem::none: return file;
    case FileProblem::not_utf8: refuse(why, "has a name that is not UTF-8 text."); break;
    case FileProblem::cannot_open: cannot_open(why); break;
    case FileProblem::folder: refuse(why, "is a folder, not a file."); break;
    case FileProblem::not_regular: refuse(why, "is not an ordinary file (a pipe, a device or the like)."); break;
    case FileProblem::too_big:
        *why = count_text("has %llu bytes; this viewer opens files of at most %llu bytes.", *size, max_bytes);
        break;
    }
    return nullptr;
}

// The last part of a path: how a file a model refers to is named to the user.
std::string file_name(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Lower case, after the last dot of the name; empty without one.
std::string extension_of(const std::string& path) {
    const std::string name = file_name(path);
    const std::size_t dot = name.find_last_of('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

// ---- Progress

double fraction(double value) { return value > 0.0 ? std::min(value, 1.0) : 0.0; }

// One percentage for a whole read, told only when it grows: up to 85 while
// the importer reads (a quarter from the bytes read, the rest from the
// importer's own progress), 90 once it has its scene, 90 to 95 while the
// scene is validated, then our conversion. The importer's progress tells
// where its reading is (the OBJ reader: once per block it reads), not its
// building of the scene afterwards, hence the room left before 90.
class ReadMeter {
public:
    explicit ReadMeter(const ReadProgress& progress) : progress_(progress) {}

    void start(std::uint64_t main_bytes) {
        total_bytes_ = main_bytes;
        reach(0);
    }
    void add_file(std::uint64_t bytes) { total_bytes_ += bytes; }
    void add_read(std::uint64_t bytes) {
        read_bytes_ += bytes;
        update();
    }
    // The importer's own: reading is 0 to 0.5, its post-processing 0.5 to 1.
    void set_importer(float value) {
        if (value >= 0.0f && value <= 1.0f) importer_ = value;
        update();
    }
    void start_validation() {
        validating_ = true;
        importer_ = 0.5f;
    }
    void reach(int percent) {
        if (percent <= reported_) return;
        reported_ = percent;
        if (progress_.report) progress_.report(progress_.context, percent);
    }

private:
    void update() {
        if (validating_) {
            reach(90 + static_cast<int>(5.0 * fraction(2.0 * importer_ - 1.0)));
            return;
        }
        const double bytes = total_bytes_ ? fraction(double(read_bytes_) / double(total_bytes_)) : 0.0;
        reach(static_cast<int>(85.0 * (0.25 * bytes + 0.75 * fraction(2.0 * importer_))));
    }

    ReadProgress progress_;
    std::uint64_t total_bytes_ = 0;
    std::uint64_t read_bytes_ = 0;
    float importer_ = 0.0f;
    bool validating_ = false;
    int reported_ = -1;
};

// What one read shares with the importer's callbacks.
struct ReadState {
    ReadState(const ReadProgress& progress, const ModelLimits& limits) : meter(progress), limits(limits) {}
    ReadMeter meter;
    const ModelLimits& limits;
    std::string main_path;
    std::string refused_path;  // the first file the model refers to that was not opened, and why
    std::string refused_why;
};

// ---- The importer's side: its file system and its progress

class ImportProgress : public Assimp::ProgressHandler {
public:
    explicit ImportProgress(ReadMeter* meter) : meter_(meter) {}
    bool Update(float value) override {
        meter_->set_importer(value);
        return true;
    }

private:
    ReadMeter* meter_;
};

// Reads in slices, so that one big read (an STL's whole file) moves the
// progress on as it goes.
constexpr std::size_t read_slice = std::size_t(1) << 20;

// The OBJ reader parses its file a block at a time and tells its progress
// once a block: a block as big as it asks for (16 MiB) is a second or more
// of silence. Its file answers each read with at most one slice, as a read
// may, and the reader takes the first short read as its block size from
// then on. Only its file: other readers take a short read for the end of
// the file.
bool reads_in_slices(const std::string& extension) { return extension == "obj"; }

class FileStream : public Assimp::IOStream {
public:
    FileStream(std::FILE* file, std::uint64_t size, ReadMeter* meter, bool one_slice)
        : file_(file), size_(size), meter_(meter), one_slice_(one_slice) {}
    ~FileStream() override { std::fclose(file_); }

    size_t Read(void* buffer, size_t size, size_t count) override {
        if (size == 0 || count == 0 || count > static_cast<size_t>(-1) / size) return 0;
        const size_t wanted = size * count;
        size_t done = 0;
        while (done < wanted) {
            const size_t slice = std::min(wanted - done, read_slice);
            const size_t got = std::fread(static_cast<unsigned char*>(buffer) + done, 1, slice, file_);
            done += got;
            meter_->add_read(got);
            if (got < slice || one_slice_) break;
        }
        return done / size;
    }
    size_t Write(const void*, size_t, size_t) override { return 0; }
    aiReturn Seek(size_t offset, aiOrigin origin) override {
        const int whence = origin == aiOrigin_SET ? SEEK_SET : origin == aiOrigin_CUR ? SEEK_CUR : SEEK_END;
        if (offset > size_ || (origin != aiOrigin_SET && origin != aiOrigin_CUR && origin != aiOrigin_END))
            return aiReturn_FAILURE;
        return seek_file(file_, offset, whence) ? aiReturn_SUCCESS : aiReturn_FAILURE;
    }
    size_t Tell() const override { return static_cast<size_t>(file_position(file_)); }
    size_t FileSize() const override { return static_cast<size_t>(size_); }
    void Flush() override {}

private:
    std::FILE* file_;
    std::uint64_t size_;
    ReadMeter* meter_;
    bool one_slice_;
};

class FileSystem : public Assimp::IOSystem {
public:
    explicit FileSystem(ReadState* state) : state_(state) {}

    using Assimp::IOSystem::Exists;
    using Assimp::IOSystem::Open;
    bool Exists(const char* path) const override { return path && file_exists(path); }
#ifdef _WIN32
    char getOsSeparator() const override { return '\\'; }
#else
    char getOsSeparator() const override { return '/'; }
#endif
    Assimp::IOStream* Open(const char* path, const char* mode) override {
        if (!path || !mode || std::strpbrk(mode, "wa+")) return nullptr;
        std::uint64_t size = 0;
        std::string why;
        std::FILE* file = open_regular(path, state_->limits.max_file_bytes, &size, &why);
        const bool main = state_->main_path == path;
        if (!file) {
            if (!main && state_->refused_path.empty()) {
                state_->refused_path = path;
                state_->refused_why = why;
            }
            return nullptr;
        }
        FileStream* stream =
            new (std::nothrow) FileStream(file, size, &state_->meter, main && reads_in_slices(extension_of(path)));
        if (!stream) {
            std::fclose(file);
            return nullptr;
        }
        if (!main) state_->meter.add_file(size);
        return stream;
    }
    void Close(Assimp::IOStream* stream) override { delete stream; }

private:
    ReadState* state_;
};

// ---- Headers

// Digits as a count; saturates, as any count this large is refused anyway.
// False when there are none.
bool read_count(const char* text, std::size_t size, std::size_t* at, std::uint64_t* count) {
    std::uint64_t value = 0;
    const std::size_t start = *at;
    for (; *at < size && text[*at] >= '0' && text[*at] <= '9'; ++*at)
        value = value > (std::uint64_t(1) << 60) ? value : value * 10 + std::uint64_t(text[*at] - '0');
    *count = value;
    return *at > start;
}

std::uint64_t saturated_sum(std::uint64_t a, std::uint64_t b) { return a > ~b ? ~std::uint64_t(0) : a + b; }

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool is_line_end(char c) { return c == '\n' || c == '\r'; }

// The next word of a header line [at, end): a run without blanks.
bool next_word(const char* text, std::size_t end, std::size_t* at, std::size_t* word, std::size_t* length) {
    while (*at < end && is_blank(text[*at])) ++*at;
    *word = *at;
    while (*at < end && !is_blank(text[*at])) ++*at;
    *length = *at - *word;
    return *length > 0;
}

bool word_is(const char* text, std::size_t word, std::size_t length, const char* expected) {
    return length == std::strlen(expected) && std::memcmp(text + word, expected, length) == 0;
}

// PLY: "ply" (either case, as the importer takes it), then header lines up
// to "end_header"; "element NAME COUNT" lines declare the data. Words are
// separated by any blanks, lines end in \n, \r\n or \r.
bool ply_counts(const char* text, std::size_t size, std::uint64_t file_size, DeclaredCounts* out) {
    if (size < 3) return false;
    for (int i = 0; i < 3; ++i)
        if ((text[i] | 0x20) != "ply"[i]) return false;
    out->format = "PLY";
    out->unfinished = true;
    std::uint64_t elements = 0;
    std::size_t start = 0;
    while (start < size) {
        std::size_t end = start;
        while (end < size && !is_line_end(text[end])) ++end;
        std::size_t next = end;
        if (next < size && text[next] == '\r') ++next;
        if (next < size && text[next] == '\n') ++next;
        std::size_t at = start, word = 0, length = 0;
        if (start > 0 && next_word(text, end, &at, &word, &length)) {
            if (word_is(text, word, length, "end_header")) {
                out->unfinished = false;
                out->data_bytes = file_size - next;
                break;
            }
            std::size_t name = 0, name_length = 0, number = 0, number_length = 0;
            std::uint64_t count = 0;
            if (word_is(text, word, length, "element") && next_word(text, end, &at, &name, &name_length) &&
                next_word(text, end, &at, &number, &number_length) && read_count(text, end, &number, &count)) {
                elements = saturated_sum(elements, count);
                if (word_is(text, name, name_length, "vertex")) out->vertices = saturated_sum(out->vertices, count);
                if (word_is(text, name, name_length, "face") || word_is(text, name, name_length, "tristrips"))
                    out->faces = saturated_sum(out->faces, count);
            }
        }
        start = next;
    }
    // Every element takes at least one byte of data, whatever its properties.
    out->least_bytes = elements;
    return true;
}

// OFF, read as the importer reads it: blanks, line ends and # comment lines
// between tokens; a keyword of optional letters ST, C, N, 4, n then "OFF";
// with n the dimension first, then the vertex and face counts.
bool off_counts(const char* text, std::size_t size, std::uint64_t file_size, bool by_extension, DeclaredCounts* out) {
    std::size_t at = 0;
    auto next_token = [&] {
        while (at < size && (is_blank(text[at]) || is_line_end(text[at]))) ++at;
        while (at < size && text[at] == '#') {
            while (at < size && !is_line_end(text[at])) ++at;
            while (at < size && (is_blank(text[at]) || is_line_end(text[at]))) ++at;
        }
    };
    next_token();
    if (at + 2 < size && text[at] == 'S' && text[at + 1] == 'T') at += 2;
    if (at + 1 < size && text[at] == 'C') ++at;
    if (at + 1 < size && text[at] == 'N') ++at;
    if (at + 1 < size && text[at] == '4') ++at;
    const bool dimension = at + 1 < size && text[at] == 'n';
    if (dimension) ++at;
    if (at + 3 <= size && std::memcmp(text + at, "OFF", 3) == 0)
        at += 3;
    else if (!by_extension)
        return false;
    out->format = "OFF";
    std::uint64_t ignored = 0;
    next_token();
    if (dimension) {
        read_count(text, size, &at, &ignored);
        next_token();
    }
    bool counted = read_count(text, size, &at, &out->vertices);
    next_token();
    counted = counted && read_count(text, size, &at, &out->faces);
    // Counts that run to the end of what was read may go on beyond it.
    if (!counted || (at == size && size < file_size)) {
        out->unfinished = size < file_size;
        return out->unfinished;
    }
    // Each vertex and face takes a line of at least one character.
    const std::uint64_t lines = saturated_sum(out->vertices, out->faces);
    out->least_bytes = lines == 0 ? 0 : saturated_sum(lines, lines) - 1;
    out->data_bytes = file_size - at;
    return true;
}

// The start of the file, at most max_header_bytes of it.
bool read_head(std::FILE* file, std::uint64_t file_size, std::vector<unsigned char>* head, std::string* reason) {
    head->resize(static_cast<std::size_t>(std::min<std::uint64_t>(file_size, max_header_bytes)));
    const std::size_t got = std::fread(head->data(), 1, head->size(), file);
    head->resize(got);
    if (std::ferror(file)) {
        *reason = "The file cannot be read.";
        return false;
    }
    return true;
}

bool header_refused(const DeclaredCounts& declared, std::uint64_t file_size, const MeshLimits& limits,
                    std::string* reason) {
    if (declared.unfinished) {
        const bool whole = file_size <= max_header_bytes;
        *reason = std::string("The ") + declared.format + " header " +
                  (whole ? "never ends: the file has no end_header line." : "does not end within the first MiB.");
        return true;
    }
    if (declared.faces > limits.max_faces) {
        *reason = refusal("faces", declared.faces, limits.max_faces);
        return true;
    }
    if (declared.vertices > limits.max_vertices) {
        *reason = refusal("vertices", declared.vertices, limits.max_vertices);
        return true;
    }
    if (declared.least_bytes > declared.data_bytes) {
        *reason = count_text("The file declares %llu vertices and %llu faces, more than its size can hold.",
                             declared.vertices, declared.faces) +
                  count_text(" It has %llu bytes of data; they need at least %llu.", declared.data_bytes,
                             declared.least_bytes);
        return true;
    }
    return false;
}

// ---- Reasons

bool readable_has(const std::string& readable, const std::string& extension) {
    return !extension.empty() && (";" + readable + ";").find(";*." + extension + ";") != std::string::npos;
}

// "*.obj;*.stl" as ".obj, .stl".
std::string readable_words(const std::string& readable) {
    std::string words;
    for (std::size_t start = 0; start < readable.size();) {
        std::size_t end = readable.find(';', start);
        if (end == std::string::npos) end = readable.size();
        std::string item = readable.substr(start, end - start);
        if (item.compare(0, 1, "*") == 0) item.erase(0, 1);
        if (!item.empty()) words += (words.empty() ? "" : ", ") + item;
        start = end + 1;
    }
    return words;
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Quoted excerpts of the file are cut to this many characters, the whole
// text to max_reason.
constexpr std::size_t max_excerpt = 40;
constexpr std::size_t max_reason = 300;

// Shown as the importer said it, but never a byte outside printable ASCII
// (as \xNN), never more than a short excerpt of what it quotes.
std::string printable(const std::string& text) {
    std::string out;
    bool quoted = false;
    std::size_t excerpt = 0;
    for (unsigned char c : text) {
        if (out.size() >= max_reason) {
            out += "...";
            break;
        }
        if (c == '"') {
            if (quoted && excerpt > max_excerpt) out += "...";
            quoted = !quoted;
            excerpt = 0;
            out += '"';
            continue;
        }
        if (quoted && ++excerpt > max_excerpt) continue;
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else if (!quoted && (c == '\n' || c == '\r' || c == '\t')) {
            out += ' ';
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c));
            out += escaped;
            excerpt += 3;
        }
    }
    if (quoted && excerpt > max_excerpt) out += "...";
    return out;
}

// ---- The scene

template <typename T>
void delete_all(T**& items, unsigned& count) {
    if (items)
        for (unsigned i = 0; i < count; ++i) delete items[i];
    delete[] items;
    items = nullptr;
    count = 0;
}

// What the viewer never uses goes before validation: a broken animation,
// camera, light, material, texture or bone must not fail a model that draws.
void strip_unused(aiScene* scene) {
    delete_all(scene->mAnimations, scene->mNumAnimations);
    delete_all(scene->mCameras, scene->mNumCameras);
    delete_all(scene->mLights, scene->mNumLights);
    delete_all(scene->mTextures, scene->mNumTextures);
    delete_all(scene->mMaterials, scene->mNumMaterials);
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        aiMesh* mesh = scene->mMeshes[m];
        if (!mesh) continue;
        delete_all(mesh->mBones, mesh->mNumBones);
        delete_all(mesh->mAnimMeshes, mesh->mNumAnimMeshes);
        for (aiVector3D*& channel : mesh->mTextureCoords) {
            delete[] channel;
            channel = nullptr;
        }
        for (unsigned& components : mesh->mNumUVComponents) components = 0;
        for (aiColor4D*& colours : mesh->mColors) {
            delete[] colours;
            colours = nullptr;
        }
        delete[] mesh->mTangents;
        delete[] mesh->mBitangents;
        mesh->mTangents = mesh->mBitangents = nullptr;
        mesh->mMaterialIndex = 0;
    }
}

// Each mesh's first colour set and texture coordinates and its material,
// kept out of the scene while it is validated: the importer's validation
// refuses a scene for a broken one, and the look is never a reason to
// refuse a model (the conversion checks what it reads of them itself).
struct LentLook {
    aiMesh* mesh;
    aiColor4D* colours;
    aiVector3D* uvs;
    unsigned uv_components;
    unsigned material;
};

struct LookAside {
    std::vector<LentLook> lent;
    LookAside() = default;
    LookAside(const LookAside&) = delete;
    LookAside& operator=(const LookAside&) = delete;
    ~LookAside() {
        for (LentLook& l : lent) {
            delete[] l.colours;
            delete[] l.uvs;
        }
    }
};

void set_look_aside(aiScene* scene, LookAside* aside) {
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        aiMesh* mesh = scene->mMeshes[m];
        if (!mesh) continue;
        aside->lent.push_back(
            LentLook{mesh, mesh->mColors[0], mesh->mTextureCoords[0], mesh->mNumUVComponents[0], mesh->mMaterialIndex});
        mesh->mColors[0] = nullptr;
        mesh->mTextureCoords[0] = nullptr;
    }
}

void give_look_back(LookAside* aside) {
    for (LentLook& l : aside->lent) {
        l.mesh->mColors[0] = l.colours;
        l.mesh->mTextureCoords[0] = l.uvs;
        l.mesh->mNumUVComponents[0] = l.uvs ? l.uv_components : 0;
        l.mesh->mMaterialIndex = l.material;
        l.colours = nullptr;
        l.uvs = nullptr;
    }
    aside->lent.clear();
}

// Validation wants faces in every mesh, and a point cloud has none: each
// such mesh is lent one point face while it is checked.
std::vector<aiMesh*> lend_point_faces(aiScene* scene) {
    std::vector<aiMesh*> lent;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        aiMesh* mesh = scene->mMeshes[m];
        if (!mesh || mesh->mNumVertices == 0 || !mesh->mVertices || (mesh->mNumFaces > 0 && mesh->mFaces)) continue;
        lent.push_back(mesh);
        delete[] mesh->mFaces;
        mesh->mFaces = new aiFace[1];
        mesh->mFaces[0].mNumIndices = 1;
        mesh->mFaces[0].mIndices = new unsigned[1]{0};
        mesh->mNumFaces = 1;
        mesh->mPrimitiveTypes |= aiPrimitiveType_POINT;
    }
    return lent;
}

void take_back_point_faces(const std::vector<aiMesh*>& lent) {
    for (aiMesh* mesh : lent) {
        delete[] mesh->mFaces;
        mesh->mFaces = nullptr;
        mesh->mNumFaces = 0;
    }
}

bool holds_bad_alloc(const std::exception_ptr& error) {
    if (!error) return false;
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return true;
    } catch (...) {
    }
    return false;
}

// Why the importer failed, in our words. When it could not open a file the
// model refers to that we refused, our reason is the better one.
std::string failure(const Assimp::Importer& importer, const ReadState& state) {
    if (holds_bad_alloc(importer.GetException())) return mesh_error_text(MeshError::out_of_memory);
    const std::string error = importer.GetErrorString() ? importer.GetErrorString() : "";
    const std::string refused = file_name(state.refused_path);
    if (!refused.empty() && error.find(refused) != std::string::npos) {
        return "The model refers to " + printable("\"" + refused + "\"") + ", which " + state.refused_why;
    }
    std::string readable;
    importer.GetExtensionList(readable);
    return importer_reason(error, extension_of(state.main_path), readable);
}

bool read_checked(const char* path, Mesh* mesh, std::string* reason, ReadState* state) {
    std::string why;
    std::uint64_t size = 0;
    std::FILE* file = open_regular(path, state->limits.max_file_bytes, &size, &why);
    if (!file) {
        *reason = "It " + why;
        return false;
    }
    std::vector<unsigned char> head;
    const bool read = read_head(file, size, &head, reason);
    std::fclose(file);
    if (!read) return false;
    if (size == 0) {
        *reason = "The file is empty.";
        return false;
    }
    DeclaredCounts declared;
    const std::string extension = extension_of(path);
    if (declared_counts(head.data(), head.size(), size, &declared, extension.c_str()) &&
        header_refused(declared, size, state->limits.mesh, reason))
        return false;
    std::vector<unsigned char>().swap(head);

    state->main_path = path;
    state->meter.start(size);
    Assimp::Importer importer;
    importer.SetIOHandler(new FileSystem(state));
    importer.SetProgressHandler(new ImportProgress(&state->meter));
    // No triangulation: quads and larger faces stay as the file has them.
    // No validation yet: first what we never use goes.
    if (!importer.ReadFile(path, 0)) {
        *reason = failure(importer, *state);
        return false;
    }
    state->meter.reach(90);
    aiScene* scene = const_cast<aiScene*>(importer.GetScene());
    if (!scene->mMeshes || scene->mNumMeshes == 0) {
        *reason = mesh_error_text(MeshError::no_faces);
        return false;
    }
    // The look is read while the materials and embedded images are there.
    SceneLook look = look_of_scene(*scene, path, texture_limits);
    LookAside aside;
    set_look_aside(scene, &aside);
    strip_unused(scene);
    const std::vector<aiMesh*> lent = lend_point_faces(scene);
    state->meter.start_validation();
    if (!importer.ApplyPostProcessing(aiProcess_ValidateDataStructure)) {
        *reason = failure(importer, *state);
        return false;
    }
    take_back_point_faces(lent);
    give_look_back(&aside);
    state->meter.reach(95);

    // Ours, so that the conversion can take its arrays over.
    std::unique_ptr<aiScene> owned(importer.GetOrphanedScene());
    MeshError error = MeshError::none;
    if (!mesh_from_scene(owned.get(), state->limits.mesh, mesh, &error, &look)) {
        *reason = mesh_error_text(error);
        return false;
    }
    state->meter.reach(100);
    return true;
}

}  // namespace

std::string importer_reason(const std::string& error, const std::string& extension, const std::string& readable) {
    if (error.empty()) return "The importer could not read the file.";
    if (contains(error, "bad_alloc") || contains(error, "bad allocation") || contains(error, "bad_array_new_length") ||
        contains(error, "larger than max_size()"))
        return mesh_error_text(MeshError::out_of_memory);
    if (error.compare(0, 24, "No suitable reader found") == 0) {
        if (readable_has(readable, extension))
            return "The file is not a valid ." + printable(extension) +
                   " file: its contents are not what that format holds.";
        const std::string reads = "It reads " + readable_words(readable) + ".";
        if (extension.empty()) return "The file has no extension and is in no format this viewer reads. " + reads;
        return "This viewer does not read ." + printable(extension) + " files. " + reads;
    }
    // The importer takes every STEP file for IFC, the one kind it reads.
    if (error.compare(0, 29, "IFC: Unrecognized file schema") == 0)
        return "The file is not in a format this viewer reads: it is a STEP file, but not an IFC building model.";
    const char validation[] = "Validation failed: ";
    if (error.compare(0, sizeof validation - 1, validation) == 0) {
        if (contains(error, "mIndices") && contains(error, "out of range"))
            return "The file is broken: a face refers to a vertex the file does not have.";
        return "The file is broken: its parts do not fit together (" + printable(error.substr(sizeof validation - 1)) +
               ").";
    }
    return printable(error);
}

bool declared_counts(const unsigned char* head, std::size_t head_size, std::uint64_t file_size, DeclaredCounts* out,
                     const char* extension) {
    *out = DeclaredCounts();
    // Binary STL: the importer takes a file as binary exactly when its size
    // is the header's face count times 50 plus 84.
    if (head_size >= 84) {
        std::uint64_t faces = std::uint64_t(head[80]) | std::uint64_t(head[81]) << 8 | std::uint64_t(head[82]) << 16 |
                              std::uint64_t(head[83]) << 24;
        if (file_size == 84 + 50 * faces) {
            out->format = "STL";
            out->faces = faces;
            out->vertices = 3 * faces;
            out->least_bytes = out->data_bytes = 50 * faces;
            return true;
        }
    }
    const char* text = reinterpret_cast<const char*>(head);
    const bool off_file = extension && std::strcmp(extension, "off") == 0;
    if (ply_counts(text, head_size, file_size, out)) return true;
    *out = DeclaredCounts();
    if (off_counts(text, head_size, file_size, off_file, out)) return true;
    *out = DeclaredCounts();
    return false;
}

bool read_model_file(const char* path, Mesh* mesh, std::string* reason, const ReadProgress& progress,
                     const ModelLimits& limits) {
    *mesh = Mesh();
    reason->clear();
    if (!path || !*path) {
        *reason = "No file name was given.";
        return false;
    }
    try {
        ReadState state(progress, limits);
        if (read_checked(path, mesh, reason, &state)) return true;
    } catch (const std::bad_alloc&) {
        *reason = mesh_error_text(MeshError::out_of_memory);
    } catch (const std::exception& e) {
        *reason = importer_reason(e.what(), extension_of(path), "");
    } catch (...) {
        *reason = "The importer failed.";
    }
    *mesh = Mesh();
    return false;
}
