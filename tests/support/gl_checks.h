// GL state checks and a fixture with an offscreen context of its own, for
// tests that draw without the viewer's window.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/gl.h"
#include "platform/script/script_platform.h"

inline GLint gl_int(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

// The current model-view matrix against gluLookAt(eye, centre, up = +y).
// Leaves the expected matrix loaded.
inline void expect_modelview_looks(double ex, double ey, double ez, double cx, double cy, double cz) {
    GLfloat loaded[16], expected[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, loaded);
    glLoadIdentity();
    gluLookAt(ex, ey, ez, cx, cy, cz, 0, 1, 0);
    glGetFloatv(GL_MODELVIEW_MATRIX, expected);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(loaded[i], expected[i]) << "element " << i;
}

// What every frame of the viewer leaves for the next: the overlay's blend
// function (blending itself off), filled polygons, all colour channels
// written in opaque white, no lighting, depth test and texturing on, and
// the model-view matrix current.
inline void expect_state_between_frames() {
    GLint polygon[2] = {};
    glGetIntegerv(GL_POLYGON_MODE, polygon);
    GLboolean mask[4] = {};
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(gl_int(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(gl_int(GL_BLEND_DST), GL_ONE_MINUS_SRC_COLOR);
    EXPECT_EQ(gl_int(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_EQ(polygon[0], GL_FILL);
    EXPECT_TRUE(mask[0] && mask[1] && mask[2] && mask[3]);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_EQ(colour[0] + colour[1] + colour[2] + colour[3], 4.0f);
}

// A fresh scripted system with an 800 x 600 offscreen context current.
class OffscreenGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        script::reset();  // before the context: a reset releases the current one
        context.reset(new script::OffscreenContext(800, 600));
        ASSERT_TRUE(context->ok());
    }

    std::unique_ptr<script::OffscreenContext> context;
};
