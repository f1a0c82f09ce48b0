#include "model/model.h"

#include "model/scene_mesh.h"
#include "platform/gl.h"
#include "stereo/test_object.h"

Mesh model_mesh;
bool model_shaded = false;

namespace {

// Light straight from the camera: faces turned to the viewer are brightest.
const GLfloat light_direction[4] = {0.0f, 0.0f, 1.0f, 0.0f};
const GLfloat light_diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
const GLfloat light_ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
const GLfloat scene_ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};

void draw_faces(GLenum polygon_mode) {
    glPolygonMode(GL_FRONT_AND_BACK, polygon_mode);
    if (!model_mesh.triangles.empty())
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(model_mesh.triangles.size()), GL_UNSIGNED_INT,
                       model_mesh.triangles.data());
    if (!model_mesh.quads.empty())
        glDrawElements(GL_QUADS, static_cast<GLsizei>(model_mesh.quads.size()), GL_UNSIGNED_INT,
                       model_mesh.quads.data());
    const std::uint32_t* corners = model_mesh.polygons.data();
    for (std::uint32_t size : model_mesh.polygon_sizes) {
        glDrawElements(GL_POLYGON, static_cast<GLsizei>(size), GL_UNSIGNED_INT, corners);
        corners += size;
    }
    // The overlay's glyph quads need filled polygons.
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

// A point cloud: its vertices in the eye's colour, unlit in either style.
void draw_points() {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, model_mesh.positions.get());
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(model_mesh.vertex_count()));
    glDisableClientState(GL_VERTEX_ARRAY);
}

void draw_wireframe() {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, model_mesh.positions.get());
    draw_faces(GL_LINE);
    glDisableClientState(GL_VERTEX_ARRAY);
}

// Grey shading in the eye's channels: the eye's colour becomes a colour mask
// (red only for the red eye), so each eye's surfaces hide each other
// properly while the other eye's image stays untouched. Blending is off
// meanwhile: it would mix near and far surfaces of one eye.
void draw_shaded() {
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
    glVertexPointer(3, GL_FLOAT, 0, model_mesh.positions.get());
    glNormalPointer(GL_FLOAT, 0, model_mesh.normals.get());
    draw_faces(GL_FILL);
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

void close_model() { model_mesh = Mesh(); }

void draw_scene_object() {
    if (!model_is_open()) {
        draw_test_object();
        return;
    }
    if (model_mesh.face_count() == 0)
        draw_points();
    else if (model_shaded)
        draw_shaded();
    else
        draw_wireframe();
}

const float (*scene_object_bounds(int* count))[3] {
    static float cube[8][3];
    if (!model_is_open()) {
        *count = test_object_vertex_count;
        return test_object_vertices;
    }
    // The box's centre is the origin and its diagonal fitted_diagonal: no
    // point lies farther than half of it from the origin along any axis.
    const float h = static_cast<float>(fitted_diagonal * 0.5);
    for (int i = 0; i < 8; ++i) {
        cube[i][0] = i & 1 ? h : -h;
        cube[i][1] = i & 2 ? h : -h;
        cube[i][2] = i & 4 ? h : -h;
    }
    *count = 8;
    return cube;
}
