#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "app/gl_window.h"
#include "platform/gl.h"
#include "platform/script/script_platform.h"
#include "stereo/stereo_rig.h"
#include "stereo/test_object.h"
#include "support/gl_checks.h"
#include "support/pixels.h"

namespace {

struct Matrix {
    GLfloat m[16];
};

Matrix current(GLenum which) {
    Matrix out;
    glGetFloatv(which, out.m);
    return out;
}

// The glFrustum bounds a projection matrix was made from (element 12 plays no part).
struct Bounds {
    double left, right, bottom, top, z_near, z_far;
};

Bounds bounds_of(const Matrix& p) {
    const double m0 = p.m[0], m5 = p.m[5], m8 = p.m[8], m9 = p.m[9], m10 = p.m[10], m14 = p.m[14];
    Bounds b;
    b.z_near = m14 / (m10 - 1.0);
    b.z_far = m14 / (m10 + 1.0);
    b.left = b.z_near * (m8 - 1.0) / m0;
    b.right = b.z_near * (m8 + 1.0) / m0;
    b.bottom = b.z_near * (m9 - 1.0) / m5;
    b.top = b.z_near * (m9 + 1.0) / m5;
    return b;
}

void expect_bounds(const Bounds& b, double left, double right, double bottom, double top, double z_near, double z_far) {
    EXPECT_NEAR(b.left, left, 1e-5);
    EXPECT_NEAR(b.right, right, 1e-5);
    EXPECT_NEAR(b.bottom, bottom, 1e-5);
    EXPECT_NEAR(b.top, top, 1e-5);
    EXPECT_NEAR(b.z_near, z_near, 1e-5);
    EXPECT_NEAR(b.z_far, z_far, 1e-3);
}

struct Viewport {
    GLint x, y, width, height;
};

Viewport current_viewport() {
    Viewport v;
    glGetIntegerv(GL_VIEWPORT, &v.x);
    return v;
}

void expect_viewport(int x, int y, int width, int height) {
    const Viewport v = current_viewport();
    EXPECT_EQ((std::vector<GLint>{v.x, v.y, v.width, v.height}), (std::vector<GLint>{x, y, width, height}));
}

void expect_colour(float r, float g, float b, float a) {
    GLfloat c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_EQ((std::vector<GLfloat>(c, c + 4)), (std::vector<GLfloat>{r, g, b, a}));
}

// Width over height of the frustum: element 5 / element 0 = (right - left) / (top - bottom).
float aspect_of(const Matrix& p) { return p.m[5] / p.m[0]; }

enum EyeSetup { left_eye, right_eye, mono };
const char* const setup_names[] = {"left eye", "right eye", "mono"};

void run(const StereoRig& rig, EyeSetup setup) {
    if (setup == left_eye) rig.setup_left_eye(view_size());
    if (setup == right_eye) rig.setup_right_eye(view_size());
    if (setup == mono) rig.setup_mono(view_size());
}

class EyeProjectionTest : public OffscreenGlTest {
protected:
    void SetUp() override {
        OffscreenGlTest::SetUp();
        view_width = 800;
        view_height = 600;
        glViewport(0, 0, 800, 600);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(0, 0, 5, 0, 0, 4, 0, 1, 0);  // the camera at home
        glColor4f(0.25f, 0.5f, 0.75f, 0.5f);   // a colour no set-up uses
        while (glGetError() != GL_NO_ERROR) {
        }
    }

    // Window x of a world point with the current modelview and projection.
    double window_x(double x, double y, double z) {
        GLdouble model[16], projection[16], wx, wy, wz;
        GLint viewport[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(gluProject(x, y, z, model, projection, viewport, &wx, &wy, &wz), GL_TRUE);
        return wx;
    }
};

TEST_F(EyeProjectionTest, DefaultEyesInGlassesMode) {
    StereoRig rig(true);

    rig.setup_left_eye(view_size());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const Matrix left = current(GL_PROJECTION_MATRIX);
    expect_bounds(bounds_of(left), -0.53562, 0.56895, -0.41421, 0.41421, 1, 100);
    EXPECT_NEAR(left.m[0], 1.81066, 1e-5);
    EXPECT_NEAR(left.m[12], 0.15089, 1e-5);
    EXPECT_EQ(left.m[12], left.m[0] * rig.eye_separation * 0.5f);
    EXPECT_EQ(left.m[13], 0.0f);

    rig.setup_right_eye(view_size());
    const Matrix right = current(GL_PROJECTION_MATRIX);
    expect_bounds(bounds_of(right), -0.56895, 0.53562, -0.41421, 0.41421, 1, 100);
    EXPECT_NEAR(right.m[0], 1.81066, 1e-5);
    EXPECT_NEAR(right.m[12], -0.15089, 1e-5);
    EXPECT_EQ(right.m[12], -left.m[12]);

    rig.setup_mono(view_size());
    const Matrix centred = current(GL_PROJECTION_MATRIX);
    expect_bounds(bounds_of(centred), -0.55228, 0.55228, -0.41421, 0.41421, 1, 100);
    EXPECT_EQ(centred.m[8], 0.0f);
    EXPECT_EQ(centred.m[12], 0.0f);
}

TEST_F(EyeProjectionTest, EverySetupReturnsToModelviewAndLeavesTheViewAlone) {
    const StereoRig rigs[] = {StereoRig(true), StereoRig(false)};
    const Matrix view = current(GL_MODELVIEW_MATRIX);
    for (const StereoRig& rig : rigs) {
        for (EyeSetup setup : {left_eye, right_eye, mono}) {
            glMatrixMode(GL_MODELVIEW);
            run(rig, setup);
            EXPECT_EQ(gl_int(GL_MATRIX_MODE), GL_MODELVIEW) << "set-up " << setup;
            const Matrix after = current(GL_MODELVIEW_MATRIX);
            EXPECT_EQ(0, std::memcmp(after.m, view.m, sizeof view.m)) << "set-up " << setup;
        }
    }
}

TEST_F(EyeProjectionTest, ViewportsWithoutGlasses) {
    const struct {
        int view_width, view_height;
        EyeSetup setup;
        Viewport expected;
        float aspect;
    } cases[] = {
        {800, 600, left_eye, {0, 0, 600, 600}, 1.0f},
        {800, 600, right_eye, {200, 0, 600, 600}, 1.0f},
        {800, 600, mono, {0, 0, 800, 600}, 800.0f / 600.0f},
        {1000, 500, mono, {0, 0, 1000, 500}, 2.0f},
    };
    StereoRig rig(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << setup_names[c.setup] << " in " << c.view_width << " x " << c.view_height);
        view_width = c.view_width;
        view_height = c.view_height;
        run(rig, c.setup);
        expect_viewport(c.expected.x, c.expected.y, c.expected.width, c.expected.height);
        EXPECT_FLOAT_EQ(aspect_of(current(GL_PROJECTION_MATRIX)), c.aspect);
    }
}

TEST_F(EyeProjectionTest, GlassesModeKeepsTheViewportAndAFourThirdsAspect) {
    StereoRig rig(true);
    view_width = 300;  // a tall, narrow window: the image is stretched, not reshaped
    view_height = 900;
    glViewport(10, 20, 300, 200);
    for (EyeSetup setup : {left_eye, right_eye, mono}) {
        run(rig, setup);
        expect_viewport(10, 20, 300, 200);
        EXPECT_FLOAT_EQ(aspect_of(current(GL_PROJECTION_MATRIX)), 4.0f / 3.0f) << setup_names[setup];
    }
}

TEST_F(EyeProjectionTest, ShiftIsTruncatedTowardsZero) {
    const struct {
        float shift;
        Viewport left, right;
    } cases[] = {
        {200.9f, {0, 0, 600, 600}, {200, 0, 600, 600}},
        {-0.5f, {0, 0, 800, 600}, {0, 0, 800, 600}},
        {-200.9f, {0, 0, 1000, 600}, {-200, 0, 1000, 600}},  // the right eye's viewport starts left of the window
    };
    StereoRig rig(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "shift " << c.shift);
        rig.image_shift = c.shift;
        rig.setup_left_eye(view_size());
        expect_viewport(c.left.x, c.left.y, c.left.width, c.left.height);
        rig.setup_right_eye(view_size());
        expect_viewport(c.right.x, c.right.y, c.right.width, c.right.height);
    }
}

TEST_F(EyeProjectionTest, AbsurdShiftsReachTheGlWithoutUndefinedConversion) {
    StereoRig rig(false);
    rig.image_shift = 800.0f;  // the whole window: an empty viewport
    rig.setup_right_eye(view_size());
    expect_viewport(800, 0, 0, 600);

    rig.image_shift = std::numeric_limits<float>::quiet_NaN();
    rig.setup_right_eye(view_size());
    expect_viewport(0, 0, 800, 600);

    rig.image_shift = 1e30f;  // beyond int: the GL refuses the negative width
    rig.setup_left_eye(view_size());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_VALUE));
    expect_viewport(0, 0, 800, 600);
}

TEST_F(EyeProjectionTest, ZeroSeparationGivesBothEyesTheMonoFrustum) {
    for (bool glasses : {true, false}) {
        StereoRig rig(glasses);
        rig.eye_separation = 0.0f;
        rig.image_shift = 0.0f;  // same viewport width as mono without glasses
        rig.setup_mono(view_size());
        const Matrix centred = current(GL_PROJECTION_MATRIX);
        rig.setup_left_eye(view_size());
        const Matrix left = current(GL_PROJECTION_MATRIX);
        rig.setup_right_eye(view_size());
        const Matrix right = current(GL_PROJECTION_MATRIX);
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(left.m[i], centred.m[i]) << "left element " << i << ", glasses " << glasses;
            EXPECT_EQ(right.m[i], centred.m[i]) << "right element " << i << ", glasses " << glasses;
        }
    }
}

TEST_F(EyeProjectionTest, ColoursOfTheEyes) {
    // Without glasses the eyes make no colour call: the current one stays.
    const struct {
        bool glasses;
        EyeSetup setup;
        float r, g, b, a;
    } cases[] = {
        {false, left_eye, 0.25f, 0.5f, 0.75f, 0.5f},
        {false, right_eye, 0.25f, 0.5f, 0.75f, 0.5f},
        {false, mono, 1, 1, 1, 1},
        {true, left_eye, 1, 0, 0, 1},
        {true, right_eye, 0, 1, 1, 1},
        {true, mono, 1, 1, 1, 1},  // red, cyan, white
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << setup_names[c.setup] << (c.glasses ? " with" : " without") << " glasses");
        if (c.setup == left_eye) glColor4f(0.25f, 0.5f, 0.75f, 0.5f);
        run(StereoRig(c.glasses), c.setup);
        expect_colour(c.r, c.g, c.b, c.a);
    }
}

TEST_F(EyeProjectionTest, EveryRowOfTheColourTable) {
    const float expected[8][2][3] = {
        {{1, 0, 0}, {0, 0, 1}}, {{1, 0, 0}, {0, 1, 0}}, {{1, 0, 0}, {0, 1, 1}}, {{0, 0, 1}, {1, 0, 0}},
        {{0, 1, 0}, {1, 0, 0}}, {{0, 1, 1}, {1, 0, 0}}, {{0, 1, 0}, {1, 0, 1}}, {{1, 1, 0}, {0, 0, 1}},
    };
    StereoRig rig(true);
    for (int row = 0; row < 8; ++row) {
        SCOPED_TRACE(row);
        rig.colour_pair = row;
        rig.setup_left_eye(view_size());
        expect_colour(expected[row][0][0], expected[row][0][1], expected[row][0][2], 1);
        rig.setup_right_eye(view_size());
        expect_colour(expected[row][1][0], expected[row][1][1], expected[row][1][2], 1);
    }
}

TEST_F(EyeProjectionTest, ColourRowOutOfRangeMakesNoColourCall) {
    StereoRig rig(true);
    for (int row : {-1, colour_pair_count, 1000}) {
        SCOPED_TRACE(row);
        rig.colour_pair = row;
        glColor4f(0.25f, 0.5f, 0.75f, 0.5f);
        rig.setup_left_eye(view_size());
        expect_colour(0.25f, 0.5f, 0.75f, 0.5f);
        rig.setup_right_eye(view_size());
        expect_colour(0.25f, 0.5f, 0.75f, 0.5f);
    }
}

TEST_F(EyeProjectionTest, ParallaxAroundTheFocalPlane) {
    StereoRig rig(true);  // focal length 5: the plane through the origin
    const double points[][3] = {{0.3, 0.2, 0.0}, {-0.9, 0.4, 0.0}};
    for (const auto& p : points) {
        rig.setup_left_eye(view_size());
        const double left = window_x(p[0], p[1], p[2]);
        rig.setup_right_eye(view_size());
        const double right = window_x(p[0], p[1], p[2]);
        EXPECT_NEAR(left, right, 1e-3) << "point in the zero-parallax plane";
    }

    rig.setup_left_eye(view_size());
    const double near_left = window_x(0, 0, 2);
    const double far_left = window_x(0, 0, -20);
    rig.setup_right_eye(view_size());
    const double near_right = window_x(0, 0, 2);
    const double far_right = window_x(0, 0, -20);
    EXPECT_GT(near_left, near_right + 1.0) << "a nearer point has crossed parallax";
    EXPECT_LT(far_left, far_right - 1.0) << "a farther point has uncrossed parallax";

    // Without glasses the same plane is drawn exactly the shift apart.
    StereoRig without(false);
    without.setup_left_eye(view_size());
    const double shifted_left = window_x(0.3, 0.2, 0.0);
    without.setup_right_eye(view_size());
    const double shifted_right = window_x(0.3, 0.2, 0.0);
    EXPECT_NEAR(shifted_right - shifted_left, 200.0, 1e-3);
}

// Colour and centre of the pixels drawn, from a frame read back.
struct Drawn {
    int count = 0;
    int off_colour = 0;
    double mean_x = 0;
};

Drawn drawn_in(unsigned char r, unsigned char g, unsigned char b) {
    Drawn d;
    double sum_x = 0;
    for_each_pixel(read_frame(), 0, 0, 800, 600, [&](int x, int, const unsigned char* p) {
        if (!drawn(p)) return;
        ++d.count;
        if (p[0] != r || p[1] != g || p[2] != b) ++d.off_colour;
        sum_x += x;
    });
    if (d.count) d.mean_x = sum_x / d.count;
    return d;
}

// Clears to black, sets one glasses eye up and draws; what it drew should be red (left) or cyan (right).
template <typename Draw>
Drawn draw_eye(EyeSetup setup, Draw draw) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    run(StereoRig(true), setup);
    draw();
    return setup == left_eye ? drawn_in(255, 0, 0) : drawn_in(0, 255, 255);
}

TEST_F(EyeProjectionTest, TestObjectIsRedForTheLeftEyeAndCyanForTheRight) {
    for (EyeSetup setup : {left_eye, right_eye}) {
        SCOPED_TRACE(setup_names[setup]);
        const Drawn d = draw_eye(setup, draw_test_object);
        EXPECT_GT(d.count, 500);
        EXPECT_EQ(d.off_colour, 0);
    }
}

void draw_square_at_depth(float z) {
    glBegin(GL_QUADS);
    glVertex3f(-0.5f, -0.5f, z);
    glVertex3f(0.5f, -0.5f, z);
    glVertex3f(0.5f, 0.5f, z);
    glVertex3f(-0.5f, 0.5f, z);
    glEnd();
}

TEST_F(EyeProjectionTest, DrawnSquaresShowTheParallaxAUserSees) {
    struct Case {
        float z;
        double min_offset, max_offset;  // left image centre minus right image centre, pixels
    } cases[] = {{0.0f, -0.5, 0.5}, {2.0f, 5.0, 1000.0}, {-10.0f, -1000.0, -5.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.z);
        const Drawn left = draw_eye(left_eye, [&] { draw_square_at_depth(c.z); });
        const Drawn right = draw_eye(right_eye, [&] { draw_square_at_depth(c.z); });
        ASSERT_GT(left.count, 100);
        ASSERT_GT(right.count, 100);
        const double offset = left.mean_x - right.mean_x;
        EXPECT_GE(offset, c.min_offset);
        EXPECT_LE(offset, c.max_offset);
    }
}

}  // namespace
