#include "stereo/interleave_mask.h"

#include "platform/gl.h"

namespace {

struct MaskState {
    bool drawn;
    OutputMode mode;
    int width, height;
};
MaskState mask = {false, OutputMode::anaglyph, 0, 0};

}  // namespace

bool interleave_left_place(OutputMode mode, int x, int y) {
    switch (mode) {
    case OutputMode::rows: return y % 2 == 0;
    case OutputMode::columns: return x % 2 == 0;
    case OutputMode::checkerboard: return (x + y) % 2 == 0;
    default: return false;
    }
}

void invalidate_interleave_mask() { mask.drawn = false; }

void prepare_interleave_mask(OutputMode mode, int width, int height) {
    if (mask.drawn && mask.mode == mode && mask.width == width && mask.height == height) return;
    mask = MaskState{true, mode, width, height};

    // A polygon stipple is a 32 x 32 bit pattern fixed to window coordinates
    // (rows from the bottom, most significant bit leftmost): one stippled quad
    // over the whole area writes the mask without any pixel transfer. The
    // pattern is counted from the top row, so it depends on the height's parity.
    GLubyte pattern[32 * 4] = {};
    for (int row = 0; row < 32; ++row)
        for (int column = 0; column < 32; ++column) {
            const int from_top = (height - 1 - row) & 1;  // parity of the row counted from the top
            if (interleave_left_place(mode, column, from_top))
                pattern[row * 4 + column / 8] |= static_cast<GLubyte>(0x80u >> (column % 8));
        }

    glClearStencil(0);
    glClear(GL_STENCIL_BUFFER_BIT);
    glViewport(0, 0, width, height);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthMask(GL_FALSE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 1);
    glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
    glEnable(GL_POLYGON_STIPPLE);
    glPolygonStipple(pattern);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glRecti(0, 0, width, height);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);

    glDisable(GL_POLYGON_STIPPLE);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}
