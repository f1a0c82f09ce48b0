// The whole scene: a wireframe cube with a slanted quad leaning out towards the viewer.
#pragma once

void draw_test_object();
