// The importer's scene turned into our Mesh: a pure function, no files, no GL.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "model/mesh.h"

struct aiScene;

// Hostile files are refused by their size before any array is made.
struct MeshLimits {
    std::uint64_t max_faces;
    std::uint64_t max_vertices;
};

// The materials of a scene as drawn, in the scene's order, and the textures
// they use, read before the scene is converted (see scene_look.h).
struct SceneLook {
    std::vector<MeshMaterial> materials;
    // Per material: it has a colour of its own (not grey), a texture or an
    // opacity below 1; a model with none of these, and without colours per
    // vertex, is drawn as it always was.
    std::vector<bool> coloured;
    std::vector<MeshTexture> textures;
    std::unique_ptr<std::uint32_t[]> texels;
    std::size_t texel_count = 0;
};

enum class MeshError {
    none,
    no_faces,  // no face with three corners or more, and no points
    too_many_faces,
    too_many_vertices,
    not_finite,  // a coordinate is infinite or not a number
    out_of_memory,
};

// Words for the error box.
const char* mesh_error_text(MeshError error);

// The diagonal of the test object's box, sqrt(24): models are scaled to it,
// so the camera's home, its focus and the comfort readout fit them unchanged.
extern const double fitted_diagonal;

// Fills *mesh from every mesh the scene's nodes place (with the nodes'
// transforms; a scene without nodes gives each mesh once), keeping faces of
// three corners or more as the file has them, skipping points, lines and
// faces with an index outside their mesh. A scene without any such face is
// a point cloud: the vertices of its meshes that have no faces or only
// one-corner ones, and no faces. Normals are the file's where it has them,
// otherwise computed from the faces (a point's straight along z). Then the whole is moved so the
// centre of its axis-aligned box is the origin and scaled uniformly to a box
// diagonal of fitted_diagonal. Any scene content is accepted without reading
// outside it. A scene that places one mesh as it is (most files) gives up
// that mesh's vertex and normal arrays to *mesh (they are null in the scene
// afterwards, which it can still be deleted with). On failure *mesh is left
// empty and *error says why.
//
// The look: colours per vertex from each mesh's first colour set, texture
// coordinates from its first set, each mesh's faces a part with its
// material (look's, by the mesh's material index; white without a look or
// for an index outside it). A model that is coloured (a placed mesh with
// colours, or a coloured material) gets colours for every vertex (a mesh
// without them: its material's colour), coordinates where a material has a
// texture, and the look's materials and textures, moved out of *look;
// otherwise none of these and *look is left as it was.
bool mesh_from_scene(aiScene* scene, const MeshLimits& limits, Mesh* mesh, MeshError* error, SceneLook* look = nullptr);
