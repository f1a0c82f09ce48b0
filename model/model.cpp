#include "model/model.h"

#include "model/model_buffers.h"
#include "platform/gl.h"
#include "platform/platform.h"
#include "stereo/test_object.h"

Mesh model_mesh;
bool model_shaded = false;
bool model_draw_lighter = false;

namespace {

ModelBuffers model_buffers;

// Light straight from the camera: faces turned to the viewer are brightest.
const GLfloat light_direction[4] = {0.0f, 0.0f, 1.0f, 0.0f};
const GLfloat light_diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
const GLfloat light_ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
const GLfloat scene_ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};

void draw_list(GLenum mode, const IndexList& list, GLenum type) {
    if (list.count > 0) glDrawElements(mode, list.count, type, list.first);
}

bool lighter_shown(const MeshArrays& arrays) { return model_draw_lighter && arrays.lighter_triangles.count > 0; }

void draw_faces(const MeshArrays& arrays, GLenum polygon_mode) {
    glPolygonMode(GL_FRONT_AND_BACK, polygon_mode);
    if (lighter_shown(arrays)) {
        draw_list(GL_TRIANGLES, arrays.lighter_triangles, arrays.index_type);
    } else {
        draw_list(GL_TRIANGLES, arrays.triangles, arrays.index_type);
        draw_list(GL_QUADS, arrays.quads, arrays.index_type);
        std::uintptr_t corners = reinterpret_cast<std::uintptr_t>(arrays.polygons.first);
        for (std::uint32_t size : model_mesh.polygon_sizes) {
            glDrawElements(GL_POLYGON, static_cast<GLsizei>(size), arrays.index_type,
                           reinterpret_cast<const void*>(corners));
            corners += size * arrays.index_bytes;
        }
    }
    // The overlay's glyph quads need filled polygons.
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

// A point cloud: its vertices in the eye's colour, unlit in either style.
void draw_points(const MeshArrays& arrays) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, arrays.positions);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(model_mesh.vertex_count()));
    glDisableClientState(GL_VERTEX_ARRAY);
}

// Each edge once, as lines; a mesh made without its edges is outlined face
// by face (the same pixels, shared edges drawn twice).
void draw_wireframe(const MeshArrays& arrays) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, arrays.positions);
    const IndexList& edges = lighter_shown(arrays) ? arrays.lighter_edges : arrays.edges;
    if (edges.count > 0)
        draw_list(GL_LINES, edges, arrays.index_type);
    else
        draw_faces(arrays, GL_LINE);
    glDisableClientState(GL_VERTEX_ARRAY);
}

// Grey shading in the eye's channels: the eye's colour becomes a colour mask
// (red only for the red eye), so each eye's surfaces hide each other
// properly while the other eye's image stays untouched. Blending is off
// meanwhile: it would mix near and far surfaces of one eye.
void draw_shaded(const MeshArrays& arrays) {
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    const GLboolean blending = glIsEnabled(GL_BLEND);
    glColorMask(colour[0] > 0.0f, colour[1] > 0.0f, colour[2] > 0.0f, GL_TRUE);
    glDisable(GL_BLEND);

    // The light is placed in eye coordinates, so it moves with the camera.
    glPushMatrix();
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, light_direction);
    glPopMatrix();
    glLightfv(GL_LIGHT0, GL_DIFFUSE, light_diffuse);
    glLightfv(GL_LIGHT0, GL_AMBIENT, light_ambient);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, scene_ambient);
    // Files disagree about which side of a face is the front.
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);

    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, arrays.positions);
    glNormalPointer(GL_FLOAT, 0, arrays.normals);
    draw_faces(arrays, GL_FILL);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);

    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glDisable(GL_COLOR_MATERIAL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (blending) glEnable(GL_BLEND);
    // Colour material has written the colour into the material, not
    // changed it; set it again all the same, as the frame relies on it.
    glColor4fv(colour);
}

}  // namespace

bool model_is_open() { return model_mesh.vertex_count() > 0; }

void close_model() {
    model_buffers.release();
    model_mesh = Mesh();
}

void release_model_buffers() { model_buffers.release(); }

std::size_t model_gpu_bytes() { return model_buffers.gpu_bytes(); }

void draw_scene_object() {
    if (!model_is_open()) {
        draw_test_object();
        return;
    }
    const MeshArrays arrays = model_buffers.bind(model_mesh, platform_gl_proc_address);
    if (model_mesh.face_count() == 0)
        draw_points(arrays);
    else if (model_shaded)
        draw_shaded(arrays);
    else
        draw_wireframe(arrays);
    model_buffers.unbind();
}
