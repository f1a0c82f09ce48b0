#include "model/scene_look.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <utility>
#include <vector>

#include "platform/file.h"

namespace {

float unit(float value) { return value > 0.0f ? value < 1.0f ? value : 1.0f : 0.0f; }

bool is_absolute(const std::string& path) {
    return (!path.empty() && path[0] == '/') || (path.size() > 2 && path[1] == ':' && path[2] == '/');
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string existing(const std::string& start, const std::string& rest) {
    const std::string whole = start + rest;
    if (file_exists(whole.c_str())) return whole;
    const std::string found = path_ignoring_case(start, rest);
    if (!found.empty() && file_exists(found.c_str())) return found;
    return std::string();
}

// ---- Materials

struct Reader {
    const aiScene& scene;
    const std::string& model_path;
    const TextureLimits& limits;
    SceneLook* look;
    std::vector<TextureImage> images;
    std::map<std::string, std::uint32_t> by_name;
    std::uint64_t total_pixels = 0;

    bool read_image(const std::string& name, TextureImage* image) {
        // Embedded: "*N", or a name the scene holds an image for.
        if (const aiTexture* embedded = scene.GetEmbeddedTexture(name.c_str())) {
            if (!embedded->pcData) return false;
            if (embedded->mHeight == 0)
                return decode_texture(reinterpret_cast<const unsigned char*>(embedded->pcData), embedded->mWidth,
                                      limits, image);
            return texture_from_bgra(reinterpret_cast<const unsigned char*>(embedded->pcData), embedded->mWidth,
                                     embedded->mHeight, limits, image);
        }
        if (name.empty() || name[0] == '*') return false;
        const std::string path = texture_file_path(model_path, name);
        std::vector<unsigned char> bytes;
        if (path.empty() || !read_regular_file(path.c_str(), limits.max_file_bytes, &bytes)) return false;
        return decode_texture(bytes.data(), bytes.size(), limits, image);
    }

    // The texture's index, read the first time its name comes up.
    std::uint32_t texture(const std::string& name) {
        const auto known = by_name.find(name);
        if (known != by_name.end()) return known->second;
        if (images.size() >= limits.max_textures) return no_texture;
        TextureImage image;
        if (read_image(name, &image)) {
            const std::uint64_t pixels = std::uint64_t(image.width) * image.height;
            if (total_pixels + pixels <= limits.max_total_pixels)
                total_pixels += pixels;
            else
                image = TextureImage();
        }
        images.push_back(std::move(image));
        const std::uint32_t index = static_cast<std::uint32_t>(images.size() - 1);
        by_name[name] = index;
        return index;
    }

    void material(const aiMaterial* source) {
        MeshMaterial m = {{1.0f, 1.0f, 1.0f, 1.0f}, no_texture};
        bool textured = false;
        if (source) {
            aiColor4D colour(1.0f, 1.0f, 1.0f, 1.0f);
            const bool base = source->Get(AI_MATKEY_BASE_COLOR, colour) == AI_SUCCESS;
            if (!base) source->Get(AI_MATKEY_COLOR_DIFFUSE, colour);
            float opacity = 1.0f;
            // glTF's alpha is the base colour's; the others' is the opacity.
            if (base)
                opacity = colour.a;
            else
                source->Get(AI_MATKEY_OPACITY, opacity);
            aiString mode;
            if (source->Get("$mat.gltf.alphaMode", 0, 0, mode) == AI_SUCCESS &&
                std::strcmp(mode.C_Str(), "OPAQUE") == 0)
                opacity = 1.0f;
            m.colour[0] = unit(colour.r);
            m.colour[1] = unit(colour.g);
            m.colour[2] = unit(colour.b);
            m.colour[3] = std::isfinite(opacity) ? unit(opacity) : 1.0f;
            aiString name;
            if (source->GetTexture(aiTextureType_BASE_COLOR, 0, &name) == AI_SUCCESS ||
                source->GetTexture(aiTextureType_DIFFUSE, 0, &name) == AI_SUCCESS) {
                textured = true;
                m.texture = texture(name.C_Str());
            }
        }
        const bool grey = m.colour[0] == m.colour[1] && m.colour[1] == m.colour[2];
        look->materials.push_back(m);
        look->coloured.push_back(!grey || textured || m.colour[3] < 1.0f);
    }

    // The images, one after the other, into the look.
    void gather() {
        std::size_t total = 0;
        for (const TextureImage& image : images) total += image.texels.size();
        look->texels.reset(new std::uint32_t[total ? total : 1]);
        look->texel_count = total;
        std::uint32_t* to = look->texels.get();
        for (TextureImage& image : images) {
            look->textures.push_back(MeshTexture{image.width, image.height});
            if (!image.texels.empty()) std::memcpy(to, image.texels.data(), image.texels.size() * 4);
            to += image.texels.size();
            image = TextureImage();
        }
    }
};

}  // namespace

std::string texture_file_path(const std::string& model_path, const std::string& name) {
    std::string rest = name;
    for (char& c : rest)
        if (c == '\\') c = '/';
    const std::string folder = folder_of(model_path);
    if (is_absolute(rest)) {
        if (file_exists(rest.c_str())) return rest;
    } else {
        while (rest.compare(0, 2, "./") == 0) rest.erase(0, 2);
        const std::string found = existing(folder, rest);
        if (!found.empty()) return found;
    }
    // Written on another machine: the file may sit beside the model.
    const std::size_t slash = rest.find_last_of('/');
    if (slash == std::string::npos) return std::string();
    return existing(folder, rest.substr(slash + 1));
}

SceneLook look_of_scene(const aiScene& scene, const std::string& model_path, const TextureLimits& limits) {
    SceneLook look;
    Reader reader{scene, model_path, limits, &look, {}, {}, 0};
    if (scene.mMaterials)
        for (unsigned i = 0; i < scene.mNumMaterials; ++i) reader.material(scene.mMaterials[i]);
    reader.gather();
    return look;
}
