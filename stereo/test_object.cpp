#include "stereo/test_object.h"

#include "platform/gl.h"

// Seven quads in the order they are sent: the slanted quad leaning out of the
// cube's top front edge towards the viewer, then the cube's six faces.
const float test_object_vertices[test_object_vertex_count][3] = {
    {-0.5f, -1, 3}, {0.5f, -1, 3}, {1, 1, 1},  {-1, 1, 1},   // slanted quad
    {-1, -1, 1},    {1, -1, 1},    {1, 1, 1},  {-1, 1, 1},   // front, z = +1
    {-1, -1, -1},   {-1, 1, -1},   {1, 1, -1}, {1, -1, -1},  // back, z = -1
    {-1, 1, -1},    {-1, 1, 1},    {1, 1, 1},  {1, 1, -1},   // top, y = +1
    {-1, -1, -1},   {1, -1, -1},   {1, -1, 1}, {-1, -1, 1},  // bottom, y = -1
    {1, -1, -1},    {1, 1, -1},    {1, 1, 1},  {1, -1, 1},   // right, x = +1
    {-1, -1, -1},   {-1, -1, 1},   {-1, 1, 1}, {-1, 1, -1},  // left, x = -1
};

void draw_test_object() {
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glBegin(GL_QUADS);
    for (const auto& v : test_object_vertices) glVertex3f(v[0], v[1], v[2]);
    glEnd();
    // The overlay's glyph quads need filled polygons.
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}
