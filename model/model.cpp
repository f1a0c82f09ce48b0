#include "model/model.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "model/model_buffers.h"
#include "model/scene_mesh.h"
#include "platform/gl.h"
#include "platform/platform.h"
#include "stereo/test_object.h"

namespace {

// A headlight straight from the camera and a key light from above left,
// both fixed to the camera (so the same in every eye: the eyes' views
// differ by a move, not a turn), with a little ambient: faces turned up
// and left are brightest, so relief shows whichever way the model is seen.
const GLfloat light_direction[4] = {0.0f, 0.0f, 1.0f, 0.0f};
const GLfloat light_diffuse[4] = {0.3f, 0.3f, 0.3f, 1.0f};
const GLfloat key_direction[4] = {-0.64f, 0.64f, 0.42f, 0.0f};
const GLfloat key_diffuse[4] = {0.6f, 0.6f, 0.6f, 1.0f};
const GLfloat light_ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
const GLfloat scene_ambient[4] = {0.12f, 0.12f, 0.12f, 1.0f};
// Edges over the surfaces: dark, in the eye's channels.
const GLfloat edge_colour[4] = {0.1f, 0.1f, 0.1f, 1.0f};

void draw_list(GLenum mode, const IndexList& list, GLenum type) {
    if (list.count > 0) glDrawElements(mode, list.count, type, list.first);
}

bool lighter_shown(const ModelScene& scene, const MeshArrays& arrays) {
    return scene.draw_lighter && arrays.lighter_triangles.count > 0;
}

void draw_faces(const ModelScene& scene, const MeshArrays& arrays, GLenum polygon_mode) {
    glPolygonMode(GL_FRONT_AND_BACK, polygon_mode);
    if (lighter_shown(scene, arrays)) {
        draw_list(GL_TRIANGLES, arrays.lighter_triangles, arrays.index_type);
    } else {
        draw_list(GL_TRIANGLES, arrays.triangles, arrays.index_type);
        draw_list(GL_QUADS, arrays.quads, arrays.index_type);
        std::uintptr_t corners = reinterpret_cast<std::uintptr_t>(arrays.polygons.first);
        for (std::uint32_t size : scene.mesh.polygon_sizes) {
            glDrawElements(GL_POLYGON, static_cast<GLsizei>(size), arrays.index_type,
                           reinterpret_cast<const void*>(corners));
            corners += size * arrays.index_bytes;
        }
    }
    // The overlay's glyph quads need filled polygons.
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

// A point cloud: its vertices in the eye's colour, unlit in either style.
void draw_points(const ModelScene& scene, const MeshArrays& arrays) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, arrays.positions);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(scene.mesh.vertex_count()));
    glDisableClientState(GL_VERTEX_ARRAY);
}

// Each edge once, as lines; a mesh made without its edges is outlined face
// by face (the same pixels, shared edges drawn twice).
void draw_wireframe(const ModelScene& scene, const MeshArrays& arrays) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, arrays.positions);
    const IndexList& edges = lighter_shown(scene, arrays) ? arrays.lighter_edges : arrays.edges;
    if (edges.count > 0)
        draw_list(GL_LINES, edges, arrays.index_type);
    else
        draw_faces(scene, arrays, GL_LINE);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void set_up_lights() {
    // The lights are placed in eye coordinates, so they move with the camera.
    glPushMatrix();
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, light_direction);
    glLightfv(GL_LIGHT1, GL_POSITION, key_direction);
    glPopMatrix();
    glLightfv(GL_LIGHT0, GL_DIFFUSE, light_diffuse);
    glLightfv(GL_LIGHT0, GL_AMBIENT, light_ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, key_diffuse);
    glLightfv(GL_LIGHT1, GL_AMBIENT, light_ambient);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, scene_ambient);
    // Files disagree about which side of a face is the front.
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
}

void put_lights_away() {
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT1);
    glDisable(GL_LIGHT0);
    glDisable(GL_COLOR_MATERIAL);
}

// One part's faces, filled.
void draw_part_faces(const Mesh& mesh, const MeshPart& part) {
    if (part.triangle_count)
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(3 * part.triangle_count), GL_UNSIGNED_INT,
                       mesh.triangles.data() + 3 * std::size_t(part.triangle_begin));
    if (part.quad_count)
        glDrawElements(GL_QUADS, static_cast<GLsizei>(4 * part.quad_count), GL_UNSIGNED_INT,
                       mesh.quads.data() + 4 * std::size_t(part.quad_begin));
    const std::uint32_t* corners = mesh.polygons.data() + part.corner_begin;
    for (std::uint32_t i = 0; i < part.polygon_count; ++i) {
        const std::uint32_t size = mesh.polygon_sizes[part.polygon_begin + i];
        glDrawElements(GL_POLYGON, static_cast<GLsizei>(size), GL_UNSIGNED_INT, corners);
        corners += size;
    }
}

bool see_through(const MeshMaterial& material) { return material.colour[3] < 1.0f; }

// The texture a part is drawn with, or 0.
GLuint texture_for(const ModelScene& scene, const MeshMaterial& material) {
    if (scene.textures_of != scene.mesh.texels.get() || scene.mesh.uvs.empty() ||
        material.texture >= scene.texture_names.size())
        return 0;
    return scene.texture_names[material.texture];
}

// The parts of the model with their materials: the opaque ones, or those
// seen through (blended over what is behind them, without hiding what comes
// after). Colours per vertex where the mesh has them, else the material's.
void draw_parts(const ModelScene& scene, bool see_through_pass) {
    const Mesh& mesh = scene.mesh;
    const bool per_vertex = !mesh.colours.empty();
    if (per_vertex) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, mesh.colours.data());
    }
    if (!mesh.uvs.empty()) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, mesh.uvs.data());
    }
    for (const MeshPart& part : mesh.parts) {
        if (part.material >= mesh.materials.size()) continue;
        const MeshMaterial& material = mesh.materials[part.material];
        if (see_through(material) != see_through_pass) continue;
        if (!per_vertex) glColor4fv(material.colour);
        const GLuint texture = texture_for(scene, material);
        if (texture) {
            glBindTexture(GL_TEXTURE_2D, texture);
            glEnable(GL_TEXTURE_2D);
        } else {
            glDisable(GL_TEXTURE_2D);
        }
        draw_part_faces(mesh, part);
    }
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
}

bool has_see_through_parts(const Mesh& mesh) {
    for (const MeshPart& part : mesh.parts)
        if (part.material < mesh.materials.size() && see_through(mesh.materials[part.material])) return true;
    return false;
}

// The model's own look, lit: opaque parts, then the edges (in the edge
// style), then the parts seen through.
void draw_look(const ModelScene& scene, const MeshArrays& arrays) {
    draw_parts(scene, false);
    if (scene.edges) {
        put_lights_away();
        glColor4fv(edge_colour);
        if (arrays.edges.count > 0)
            draw_list(GL_LINES, arrays.edges, arrays.index_type);
        else
            draw_faces(scene, arrays, GL_LINE);
        set_up_lights();
    }
    if (!has_see_through_parts(scene.mesh)) return;
    GLint source = GL_ONE, destination = GL_ZERO;
    glGetIntegerv(GL_BLEND_SRC, &source);
    glGetIntegerv(GL_BLEND_DST, &destination);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    draw_parts(scene, true);
    glDepthMask(GL_TRUE);
    glBlendFunc(static_cast<GLenum>(source), static_cast<GLenum>(destination));
    glDisable(GL_BLEND);
}

// Grey shading in the eye's channels: the eye's colour becomes a colour mask
// (red only for the red eye), so each eye's surfaces hide each other
// properly while the other eye's image stays untouched. Blending is off
// meanwhile: it would mix near and far surfaces of one eye.
void draw_shaded(const ModelScene& scene, const MeshArrays& arrays) {
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    const GLboolean blending = glIsEnabled(GL_BLEND);
    glColorMask(colour[0] > 0.0f, colour[1] > 0.0f, colour[2] > 0.0f, GL_TRUE);
    glDisable(GL_BLEND);

    set_up_lights();

    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, arrays.positions);
    glNormalPointer(GL_FLOAT, 0, arrays.normals);
    // With edges over them, the surfaces are pushed back a little so that
    // the edges on them win the depth test and those behind them do not.
    if (scene.edges) {
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1.0f, 1.0f);
    }
    if (scene.mesh.has_look() && !scene.mesh.parts.empty())
        draw_look(scene, arrays);
    else
        draw_faces(scene, arrays, GL_FILL);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);

    put_lights_away();
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (blending) glEnable(GL_BLEND);
    // Colour material has written the colour into the material, not
    // changed it; set it again all the same, as the frame relies on it.
    glColor4fv(colour);
}

void release_textures(ModelScene& scene) {
    if (!scene.texture_names.empty())
        glDeleteTextures(static_cast<GLsizei>(scene.texture_names.size()), scene.texture_names.data());
    scene.texture_names.clear();
    scene.textures_of = nullptr;
}

// Each readable texture once, with its mipmaps; the GLU scales one that is
// too large for the GL, or not a power of two on a GL that wants one.
void upload_textures(ModelScene& scene) {
    const Mesh& mesh = scene.mesh;
    scene.texture_names.assign(mesh.textures.size(), 0);
    scene.textures_of = mesh.texels.get();
    const std::uint32_t* texels = mesh.texels.get();
    for (std::size_t i = 0; i < mesh.textures.size(); ++i) {
        const MeshTexture& t = mesh.textures[i];
        if (t.width == 0 || t.height == 0) continue;
        glGenTextures(1, &scene.texture_names[i]);
        glBindTexture(GL_TEXTURE_2D, scene.texture_names[i]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, static_cast<GLint>(t.width), static_cast<GLint>(t.height), GL_RGBA,
                          GL_UNSIGNED_BYTE, texels);
        texels += std::size_t(t.width) * t.height;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace

bool model_is_open(const ModelScene& scene) { return scene.mesh.vertex_count() > 0; }

void close_model(ModelScene& scene) {
    release_textures(scene);
    scene.buffers.release();
    scene.mesh = Mesh();
}

void show_model(ModelScene& scene, Mesh mesh) {
    release_textures(scene);
    scene.buffers.release();
    scene.mesh = std::move(mesh);
    upload_textures(scene);
    if (!scene.mesh.has_look())
        scene.edges = false;
    else if (!scene.wireframe_asked)
        scene.shaded = true;
}

void upload_model_textures_anew(ModelScene& scene) {
    scene.texture_names.clear();
    upload_textures(scene);
}

void next_model_style(ModelScene& scene) {
    if (!model_is_open(scene)) return;
    if (!scene.shaded) {
        scene.shaded = true;
    } else if (!scene.edges && scene.mesh.has_look()) {
        scene.edges = true;
    } else {
        scene.shaded = false;
        scene.edges = false;
    }
}

void format_texture_notice(std::size_t unreadable, char* out, std::size_t size) {
    if (size == 0) return;
    out[0] = '\0';
    if (unreadable == 0) return;
    std::snprintf(out, size, "%zu texture%s could not be read", unreadable, unreadable == 1 ? "" : "s");
}

void release_model_buffers(ModelScene& scene) { scene.buffers.release(); }

std::size_t model_gpu_bytes(const ModelScene& scene) { return scene.buffers.gpu_bytes(); }

void draw_scene_object(ModelScene& scene) {
    if (!model_is_open(scene)) {
        draw_test_object();
        return;
    }
    // A model that fits as it is is drawn without a matrix of its own.
    const float scale = scene.view_scale;
    const bool scaled = scale != 1.0f;
    if (scaled) {
        glPushMatrix();
        glScalef(scale, scale, scale);
        // Lighting needs unit normals, which the scale shortens.
        glEnable(GL_NORMALIZE);
    }
    // A model's look reads its colours and coordinates from client memory,
    // and its parts' faces with them; the rest draws from the GL's buffers.
    const Mesh& mesh = scene.mesh;
    const MeshArrays arrays =
        mesh.has_look() ? ModelBuffers::client_arrays(mesh) : scene.buffers.bind(mesh, platform_get_gl_proc_address);
    if (mesh.face_count() == 0)
        draw_points(scene, arrays);
    else if (scene.shaded)
        draw_shaded(scene, arrays);
    else
        draw_wireframe(scene, arrays);
    scene.buffers.unbind();
    if (scaled) {
        glDisable(GL_NORMALIZE);
        glPopMatrix();
    }
}

namespace {

struct Corners {
    float points[8][3];
};

// The box's centre is the origin and its diagonal fitted_diagonal: no point
// lies farther than half of it from the origin along any axis.
Corners fitted_cube() {
    Corners cube;
    const float h = static_cast<float>(fitted_diagonal * 0.5);
    for (int i = 0; i < 8; ++i) {
        cube.points[i][0] = i & 1 ? h : -h;
        cube.points[i][1] = i & 2 ? h : -h;
        cube.points[i][2] = i & 4 ? h : -h;
    }
    return cube;
}

}  // namespace

const float (*scene_object_bounds(const ModelScene& scene, int* count))[3] {
    if (!model_is_open(scene)) {
        *count = test_object_vertex_count;
        return test_object_vertices;
    }
    static const Corners cube = fitted_cube();
    *count = 8;
    return cube.points;
}
