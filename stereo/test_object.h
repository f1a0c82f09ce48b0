// The whole scene: a wireframe cube with a slanted quad leaning out towards the viewer.
#pragma once

// The vertices in the order they are sent, four per quad (x, y, z in world units).
constexpr int test_object_vertex_count = 28;
extern const float test_object_vertices[test_object_vertex_count][3];

void draw_test_object();
