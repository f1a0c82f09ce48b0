// The importer's scene to our Mesh. Everything read from the scene is
// checked here, even what the importer's validation step already checked:
// the fuzzer hands this function scenes no importer would make.
#include "model/scene_mesh.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

const double fitted_diagonal = std::sqrt(24.0);

FloatArray make_float_array(std::size_t count) {
    return FloatArray(new float[count], FloatArrayRelease{[](float* p) { delete[] p; }});
}

namespace {

// The importer's vectors are read as plain floats by the GL.
static_assert(sizeof(aiVector3D) == 3 * sizeof(float), "aiVector3D is three floats");

struct Placement {
    aiMesh* mesh;
    aiMatrix4x4 transform;
};

// Takes an array of the importer's out of its mesh.
FloatArray take(aiVector3D** vectors) {
    float* floats = reinterpret_cast<float*>(*vectors);
    *vectors = nullptr;
    return FloatArray(floats, FloatArrayRelease{[](float* p) { delete[] reinterpret_cast<aiVector3D*>(p); }});
}

bool finite(const aiVector3D* v, unsigned count) {
    for (unsigned i = 0; i < count; ++i)
        if (!std::isfinite(v[i].x) || !std::isfinite(v[i].y) || !std::isfinite(v[i].z)) return false;
    return true;
}

// Exactly; aiMatrix4x4::IsIdentity allows 0.01 off, which would drop a
// small but real offset of a node.
bool is_identity(const aiMatrix4x4& m) { return m == aiMatrix4x4(); }

// A face we draw: three corners or more, every index inside its mesh.
bool usable_face(const aiFace& face, unsigned vertex_count) {
    if (face.mNumIndices < 3 || !face.mIndices) return false;
    for (unsigned i = 0; i < face.mNumIndices; ++i)
        if (face.mIndices[i] >= vertex_count) return false;
    return true;
}

bool drawable(const aiMesh* mesh) { return mesh && mesh->mVertices && mesh->mNumVertices > 0; }

// A point cloud: vertices and no faces, or only faces of one corner.
bool points_only(const aiMesh& mesh) {
    if (!mesh.mFaces) return true;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f)
        if (mesh.mFaces[f].mNumIndices > 1) return false;
    return true;
}

// Every (mesh, transform) the node tree places, walked without recursion so
// that a deep hostile tree cannot exhaust the stack.
void collect_placements(aiScene& scene, std::vector<Placement>* out) {
    if (!scene.mRootNode) {
        for (unsigned i = 0; i < scene.mNumMeshes; ++i)
            if (scene.mMeshes && drawable(scene.mMeshes[i])) out->push_back(Placement{scene.mMeshes[i], aiMatrix4x4()});
        return;
    }
    std::vector<std::pair<const aiNode*, aiMatrix4x4>> pending;
    pending.emplace_back(scene.mRootNode, scene.mRootNode->mTransformation);
    while (!pending.empty()) {
        const aiNode* node = pending.back().first;
        const aiMatrix4x4 transform = pending.back().second;
        pending.pop_back();
        if (node->mMeshes && scene.mMeshes)
            for (unsigned i = 0; i < node->mNumMeshes; ++i) {
                unsigned index = node->mMeshes[i];
                if (index < scene.mNumMeshes && drawable(scene.mMeshes[index]))
                    out->push_back(Placement{scene.mMeshes[index], transform});
            }
        if (node->mChildren)
            // Reversed, so that the first child is placed first.
            for (unsigned i = node->mNumChildren; i-- > 0;)
                if (const aiNode* child = node->mChildren[i])
                    pending.emplace_back(child, transform * child->mTransformation);
    }
}

struct Counts {
    std::uint64_t vertices = 0, triangles = 0, quads = 0, polygons = 0, polygon_corners = 0;
    std::uint64_t faces() const { return triangles + quads + polygons; }
};

// Upper bounds, from the corner counts alone: enough to refuse a model by
// its size and to size the arrays once. A face with an index outside its
// mesh is counted here and left out later.
Counts count(const std::vector<Placement>& placements) {
    Counts n;
    for (const Placement& p : placements) {
        std::uint64_t faces_before = n.faces();
        for (unsigned f = 0; f < p.mesh->mNumFaces && p.mesh->mFaces; ++f) {
            const unsigned corners = p.mesh->mFaces[f].mNumIndices;
            if (corners < 3 || !p.mesh->mFaces[f].mIndices) continue;
            if (corners == 3)
                ++n.triangles;
            else if (corners == 4)
                ++n.quads;
            else {
                ++n.polygons;
                n.polygon_corners += corners;
            }
        }
        // A mesh of points or lines only adds no vertices.
        if (n.faces() != faces_before) n.vertices += p.mesh->mNumVertices;
    }
    return n;
}

// The vertices of the point clouds placed, for a scene without faces.
std::uint64_t count_points(const std::vector<Placement>& placements) {
    std::uint64_t vertices = 0;
    for (const Placement& p : placements)
        if (points_only(*p.mesh)) vertices += p.mesh->mNumVertices;
    return vertices;
}

// Newell's normal: sound for any planar polygon, quads and larger included.
void add_face_normal(const float* positions, std::uint32_t base, const aiFace& face, float* normals) {
    float x = 0, y = 0, z = 0;
    for (unsigned i = 0; i < face.mNumIndices; ++i) {
        const float* a = positions + 3 * std::size_t(base + face.mIndices[i]);
        const float* b = positions + 3 * std::size_t(base + face.mIndices[(i + 1) % face.mNumIndices]);
        x += (a[1] - b[1]) * (a[2] + b[2]);
        y += (a[2] - b[2]) * (a[0] + b[0]);
        z += (a[0] - b[0]) * (a[1] + b[1]);
    }
    for (unsigned i = 0; i < face.mNumIndices; ++i) {
        float* n = normals + 3 * std::size_t(face.mIndices[i]);
        n[0] += x;
        n[1] += y;
        n[2] += z;
    }
}

// Unit length, or straight at the viewer's home when there is no direction.
// Most files' normals are unit length already and are left as they are.
void normalise(float* n) {
    const float square = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    if (square > 0.99999f && square < 1.00001f) return;
    const float length = std::sqrt(square);
    if (!(length > 0.0f) || !std::isfinite(length)) {
        n[0] = 0.0f;
        n[1] = 0.0f;
        n[2] = 1.0f;
        return;
    }
    const float inverse = 1.0f / length;
    for (int i = 0; i < 3; ++i) n[i] *= inverse;
}

// The arrays are sized once from the counts; append writes through these.
struct Cursor {
    float* positions;
    float* normals;
    std::uint32_t* triangles;
    std::uint32_t* quads;
    std::uint32_t* polygons;
    std::uint32_t* polygon_sizes;
    std::uint32_t vertices;  // written so far
    bool normals_taken;      // in place: the file's normals are the output already
    // The look, when the model has one: colours and coordinates (null
    // without them) and the parts, with where each face list begins.
    std::uint8_t* colours;
    float* uvs;
    std::vector<MeshPart>* parts;
    const std::vector<MeshMaterial>* materials;
    const std::uint32_t* triangles_start;
    const std::uint32_t* quads_start;
    const std::uint32_t* polygons_start;
    const std::uint32_t* polygon_sizes_start;
};

const MeshMaterial white_material = {{1.0f, 1.0f, 1.0f, 1.0f}, no_texture};

// The material a mesh is drawn with: white where the index names none.
std::uint32_t material_of(const aiMesh& mesh, const std::vector<MeshMaterial>* materials) {
    return materials && mesh.mMaterialIndex < materials->size() ? mesh.mMaterialIndex : 0;
}

std::uint8_t colour_byte(float value) {
    // Also for values that are not numbers: those give 0.
    return value > 0.0f ? value < 1.0f ? static_cast<std::uint8_t>(value * 255.0f + 0.5f) : 255 : 0;
}

// Colours and coordinates of one mesh's vertices, and its part.
void append_look(const aiMesh& source, const std::uint32_t* triangles, const std::uint32_t* quads,
                 const std::uint32_t* polygons, const std::uint32_t* polygon_sizes, Cursor* out) {
    const unsigned vertex_count = source.mNumVertices;
    const std::uint32_t material = material_of(source, out->materials);
    const MeshMaterial& drawn =
        out->materials && material < out->materials->size() ? (*out->materials)[material] : white_material;
    if (std::uint8_t* colours = out->colours) {
        const aiColor4D* file = source.mColors[0];
        for (unsigned i = 0; i < vertex_count; ++i) {
            const float* c = file ? &file[i].r : drawn.colour;
            for (int k = 0; k < 4; ++k) colours[4 * std::size_t(i) + k] = colour_byte(c[k]);
        }
        out->colours += 4 * std::size_t(vertex_count);
    }
    if (float* uvs = out->uvs) {
        const aiVector3D* file = source.mNumUVComponents[0] >= 2 ? source.mTextureCoords[0] : nullptr;
        for (unsigned i = 0; i < vertex_count; ++i) {
            const bool usable = file && std::isfinite(file[i].x) && std::isfinite(file[i].y);
            uvs[2 * std::size_t(i)] = usable ? file[i].x : 0.0f;
            uvs[2 * std::size_t(i) + 1] = usable ? file[i].y : 0.0f;
        }
        out->uvs += 2 * std::size_t(vertex_count);
    }
    MeshPart part;
    part.material = out->materials && material < out->materials->size() ? material : 0;
    part.triangle_begin = static_cast<std::uint32_t>((triangles - out->triangles_start) / 3);
    part.triangle_count = static_cast<std::uint32_t>((out->triangles - triangles) / 3);
    part.quad_begin = static_cast<std::uint32_t>((quads - out->quads_start) / 4);
    part.quad_count = static_cast<std::uint32_t>((out->quads - quads) / 4);
    part.polygon_begin = static_cast<std::uint32_t>(polygon_sizes - out->polygon_sizes_start);
    part.polygon_count = static_cast<std::uint32_t>(out->polygon_sizes - polygon_sizes);
    part.corner_begin = static_cast<std::uint32_t>(polygons - out->polygons_start);
    if (part.triangle_count || part.quad_count || part.polygon_count) out->parts->push_back(part);
}

// Appends one placed mesh: positions, normals and its faces by corner count
// (points: a point cloud's vertices alone). In place: its positions (and
// normals, if the file has them) are the output arrays already. Returns
// false when a coordinate is not finite.
bool append(const Placement& p, bool in_place, bool points, Cursor* out) {
    const aiMesh& source = *p.mesh;
    const unsigned vertex_count = source.mNumVertices;
    const unsigned face_count = source.mFaces ? source.mNumFaces : 0;
    const std::uint32_t base = out->vertices;
    const bool identity = is_identity(p.transform);

    bool wanted = points && points_only(source);
    for (unsigned f = 0; f < face_count && !wanted && !points; ++f)
        wanted = usable_face(source.mFaces[f], vertex_count);
    if (!wanted) return true;

    float* positions = out->positions;
    for (unsigned i = 0; i < vertex_count && !in_place; ++i) {
        const aiVector3D v = identity ? source.mVertices[i] : p.transform * source.mVertices[i];
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return false;
        positions[3 * i] = v.x;
        positions[3 * i + 1] = v.y;
        positions[3 * i + 2] = v.z;
    }

    const std::uint32_t *triangles = out->triangles, *quads = out->quads, *polygons = out->polygons,
                        *polygon_sizes = out->polygon_sizes;
    for (unsigned f = 0; f < face_count; ++f) {
        const aiFace& face = source.mFaces[f];
        if (!usable_face(face, vertex_count)) continue;
        std::uint32_t*& list = face.mNumIndices == 3   ? out->triangles
                               : face.mNumIndices == 4 ? out->quads
                                                       : out->polygons;
        for (unsigned i = 0; i < face.mNumIndices; ++i) *list++ = base + face.mIndices[i];
        if (face.mNumIndices > 4) *out->polygon_sizes++ = face.mNumIndices;
    }

    // Normals follow the transform's inverse transpose; a transform that
    // cannot be inverted leaves the file's normals meaningless.
    aiMatrix3x3 normal_matrix(p.transform);
    bool file_normals = in_place ? out->normals_taken : source.mNormals != nullptr;
    if (file_normals && !identity) {
        if (normal_matrix.Determinant() == 0.0f)
            file_normals = false;
        else
            normal_matrix.Inverse().Transpose();
    }
    float* normals = out->normals;
    if (file_normals && !in_place) {
        for (unsigned i = 0; i < vertex_count; ++i) {
            const aiVector3D n = identity ? source.mNormals[i] : normal_matrix * source.mNormals[i];
            normals[3 * i] = n.x;
            normals[3 * i + 1] = n.y;
            normals[3 * i + 2] = n.z;
        }
    } else if (!file_normals) {
        // Each vertex: the sum of its faces' normals, weighted by their area
        // (a point's: none, so straight at the viewer's home).
        std::fill(normals, normals + 3 * std::size_t(vertex_count), 0.0f);
        for (unsigned f = 0; f < face_count; ++f)
            if (usable_face(source.mFaces[f], vertex_count))
                add_face_normal(out->positions - 3 * std::size_t(base), base, source.mFaces[f], normals);
    }
    for (unsigned i = 0; i < vertex_count; ++i) normalise(normals + 3 * i);
    if (out->parts) append_look(source, triangles, quads, polygons, polygon_sizes, out);

    out->positions += 3 * std::size_t(vertex_count);
    out->normals += 3 * std::size_t(vertex_count);
    out->vertices += vertex_count;
    return true;
}

// Centre of the axis-aligned box to the origin, box diagonal to
// fitted_diagonal. Centre, scale and each move in double: no overflow for
// any finite coordinates, and a model that is the test object moved and
// scaled by powers of two comes back exactly.
void fit(Mesh* mesh) {
    const std::size_t floats = 3 * mesh->vertex_count();
    if (floats == 0) return;
    float* positions = mesh->positions.get();
    float low[3], high[3];
    for (int a = 0; a < 3; ++a) low[a] = high[a] = positions[a];
    for (std::size_t i = 0; i < floats; i += 3)
        for (int a = 0; a < 3; ++a) {
            low[a] = std::min(low[a], positions[i + a]);
            high[a] = std::max(high[a], positions[i + a]);
        }
    double centre[3], extent[3];
    for (int a = 0; a < 3; ++a) {
        centre[a] = (double(low[a]) + high[a]) / 2.0;
        extent[a] = double(high[a]) - low[a];
    }
    for (int a = 0; a < 3; ++a) mesh->facts.size[a] = static_cast<float>(extent[a]);
    double diagonal = std::sqrt(extent[0] * extent[0] + extent[1] * extent[1] + extent[2] * extent[2]);
    // A model that is a single point is only moved.
    double scale = diagonal > 0.0 && std::isfinite(diagonal) ? fitted_diagonal / diagonal : 1.0;
    for (std::size_t i = 0; i < floats; i += 3)
        for (int a = 0; a < 3; ++a) positions[i + a] = static_cast<float>((positions[i + a] - centre[a]) * scale);
}

// The textures the scene's materials name, each file once, and those it
// holds inside.
std::uint32_t count_textures(const aiScene& scene) {
    std::set<std::string> paths;
    for (unsigned m = 0; scene.mMaterials && m < scene.mNumMaterials; ++m) {
        const aiMaterial* material = scene.mMaterials[m];
        if (!material) continue;
        for (int type = aiTextureType_DIFFUSE; type <= aiTextureType_UNKNOWN; ++type)
            for (unsigned i = 0; i < material->GetTextureCount(aiTextureType(type)); ++i) {
                aiString path;
                if (material->GetTexture(aiTextureType(type), i, &path) == aiReturn_SUCCESS) paths.insert(path.C_Str());
            }
    }
    const std::size_t count = paths.size() + (scene.mTextures ? scene.mNumTextures : 0);
    return count > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(count);
}

bool fail(Mesh* mesh, MeshError* error, MeshError why) {
    *mesh = Mesh();
    *error = why;
    return false;
}

}  // namespace

const char* mesh_error_text(MeshError error) {
    switch (error) {
    case MeshError::none: return "No error.";
    case MeshError::no_faces: return "The file holds nothing to draw: no faces and no points (only lines, or nothing).";
    case MeshError::too_many_faces: return "The model has more faces than this viewer opens.";
    case MeshError::too_many_vertices: return "The model has more vertices than this viewer opens.";
    case MeshError::not_finite: return "The model has coordinates that are not finite numbers.";
    case MeshError::out_of_memory: return "Not enough memory for the model.";
    }
    return "Unknown error.";
}

namespace {

// Whether the placed meshes have a look of their own, and whether a
// textured material among them wants texture coordinates.
void look_needs(const std::vector<Placement>& placements, const SceneLook* look, bool* coloured, bool* textured) {
    *coloured = *textured = false;
    const std::vector<MeshMaterial>* materials = look ? &look->materials : nullptr;
    for (const Placement& p : placements) {
        const std::uint32_t m = material_of(*p.mesh, materials);
        if (p.mesh->mColors[0]) *coloured = true;
        if (look && m < look->coloured.size() && look->coloured[m]) *coloured = true;
        if (materials && m < materials->size() && (*materials)[m].texture != no_texture && p.mesh->mTextureCoords[0])
            *textured = true;
    }
}

}  // namespace

bool mesh_from_scene(aiScene* scene, const MeshLimits& limits, Mesh* mesh, MeshError* error, SceneLook* look) {
    *mesh = Mesh();
    *error = MeshError::none;
    if (!scene || !scene->mMeshes || scene->mNumMeshes == 0) return fail(mesh, error, MeshError::no_faces);
    // The arrays are the standard library's: its allocation failure is
    // caught here, at the edge, and becomes an answer.
    try {
        std::vector<Placement> placements;
        collect_placements(*scene, &placements);
        Counts n = count(placements);
        // Without any face, the point clouds are what there is to draw.
        const bool points = n.faces() == 0;
        if (points) n.vertices = count_points(placements);
        if (n.vertices == 0) return fail(mesh, error, MeshError::no_faces);
        if (n.faces() > limits.max_faces) return fail(mesh, error, MeshError::too_many_faces);
        // 32-bit indices address at most 2^32 - 1 vertices, whatever the limit.
        if (n.vertices > limits.max_vertices || n.vertices > 0xFFFFFFFFull)
            return fail(mesh, error, MeshError::too_many_vertices);

        // One mesh placed as it is: its arrays become ours, no copy.
        const bool in_place = placements.size() == 1 && is_identity(placements[0].transform);
        bool normals_taken = false;
        if (in_place) {
            aiMesh& source = *placements[0].mesh;
            if (!finite(source.mVertices, source.mNumVertices)) return fail(mesh, error, MeshError::not_finite);
            normals_taken = source.mNormals != nullptr;
            mesh->positions = take(&source.mVertices);
            mesh->normals = normals_taken ? take(&source.mNormals) : make_float_array(3 * n.vertices);
        } else {
            mesh->positions = make_float_array(3 * n.vertices);
            mesh->normals = make_float_array(3 * n.vertices);
        }
        mesh->triangles.resize(3 * n.triangles);
        mesh->quads.resize(4 * n.quads);
        mesh->polygons.resize(n.polygon_corners);
        mesh->polygon_sizes.resize(n.polygons);
        bool coloured = false, textured = false;
        look_needs(placements, look, &coloured, &textured);
        if (coloured) {
            mesh->colours.resize(4 * n.vertices);
            if (textured) mesh->uvs.resize(2 * n.vertices);
        }
        Cursor out = {mesh->positions.get(),
                      mesh->normals.get(),
                      mesh->triangles.data(),
                      mesh->quads.data(),
                      mesh->polygons.data(),
                      mesh->polygon_sizes.data(),
                      0,
                      normals_taken,
                      coloured ? mesh->colours.data() : nullptr,
                      textured ? mesh->uvs.data() : nullptr,
                      coloured ? &mesh->parts : nullptr,
                      look ? &look->materials : nullptr,
                      mesh->triangles.data(),
                      mesh->quads.data(),
                      mesh->polygons.data(),
                      mesh->polygon_sizes.data()};
        for (const Placement& p : placements)
            if (!append(p, in_place, points, &out)) return fail(mesh, error, MeshError::not_finite);
        // Faces reaching outside their mesh were counted but not written.
        mesh->vertices = out.vertices;
        mesh->triangles.resize(out.triangles - mesh->triangles.data());
        mesh->quads.resize(out.quads - mesh->quads.data());
        mesh->polygons.resize(out.polygons - mesh->polygons.data());
        mesh->polygon_sizes.resize(out.polygon_sizes - mesh->polygon_sizes.data());
        mesh->colours.resize(4 * std::size_t(out.vertices) * !mesh->colours.empty());
        mesh->uvs.resize(2 * std::size_t(out.vertices) * !mesh->uvs.empty());
        if (coloured) {
            if (look && !look->materials.empty()) {
                mesh->materials = std::move(look->materials);
                mesh->textures = std::move(look->textures);
                mesh->texels = std::move(look->texels);
                mesh->texel_count = look->texel_count;
                look->texel_count = 0;
            } else {
                mesh->materials.push_back(white_material);
            }
            // Without coordinates no texture can be placed.
            if (mesh->uvs.empty())
                for (MeshMaterial& m : mesh->materials) m.texture = no_texture;
        }
        if (mesh->vertex_count() == 0 || (!points && mesh->face_count() == 0))
            return fail(mesh, error, MeshError::no_faces);
        fit(mesh);
        mesh->facts.meshes = static_cast<std::uint32_t>(placements.size());
        mesh->facts.textures = count_textures(*scene);
        return true;
    } catch (const std::bad_alloc&) {
        return fail(mesh, error, MeshError::out_of_memory);
    } catch (const std::length_error&) {
        return fail(mesh, error, MeshError::out_of_memory);
    }
}
