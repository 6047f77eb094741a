// The drawing passes and the patch transform, checked in the recorded call stream.
#include <GL/glut.h>

#include <array>
#include <cmath>

#include "fixture.h"
#include "render/render.h"

namespace {
using Mat = std::array<double, 16>;  // column-major, as GL keeps it

Mat identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

Mat multiply(const Mat& a, const Mat& b) {
    Mat m{};
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k) m[c * 4 + r] += a[k * 4 + r] * b[c * 4 + k];
    return m;
}

// The matrices glRotatef and glTranslatef multiply onto the current one.
Mat rotation(double deg, double x, double y, double z) {
    const double len = std::sqrt(x * x + y * y + z * z);
    x /= len; y /= len; z /= len;
    const double c = std::cos(deg * M_PI / 180), s = std::sin(deg * M_PI / 180), t = 1 - c;
    return {x * x * t + c,     y * x * t + z * s, x * z * t - y * s, 0,
            x * y * t - z * s, y * y * t + c,     y * z * t + x * s, 0,
            x * z * t + y * s, y * z * t - x * s, z * z * t + c,     0,
            0, 0, 0, 1};
}

Mat translation(double x, double y, double z) {
    Mat m = identity();
    m[12] = x; m[13] = y; m[14] = z;
    return m;
}

// The model matrix the recorded transform calls build, in the order they were made.
Mat recordedTransform() {
    Mat m = identity();
    for (const GlCall& c : glRecord.calls) {
        if (c.fn == "glRotatef") m = multiply(m, rotation(c.args[0], c.args[1], c.args[2], c.args[3]));
        if (c.fn == "glTranslatef") m = multiply(m, translation(c.args[0], c.args[1], c.args[2]));
    }
    return m;
}

std::array<double, 3> apply(const Mat& m, double x, double y, double z) {
    return {m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
            m[2] * x + m[6] * y + m[10] * z + m[14]};
}

// Index of the first call with this name at or after from.
size_t findFrom(const std::vector<GlCall>& calls, const std::string& fn, size_t from = 0) {
    for (size_t k = from; k < calls.size(); ++k) if (calls[k].fn == fn) return k;
    return calls.size();
}

std::vector<GlCall> patchCalls(int rows, int cols) {
    startAndSettle();
    controlGrid.rows = rows;
    controlGrid.cols = cols;
    return frameCalls();
}
}  // namespace

TEST_F(Editor, EachSurfaceSampleIsItsOwnYellowPointOfSizeThree) {
    startAndSettle();
    drawSurface();
    const auto& c = glRecord.calls;
    ASSERT_EQ(c.size(), 2500u * 5);
    std::vector<SurfaceSample> want;
    sweepSurface([&](const SurfaceSample& s) { want.push_back(s); });
    for (size_t k = 0; k < 2500; ++k) {
        const GlCall* s = &c[k * 5];
        EXPECT_EQ(s[0].fn, "glColor3f");
        EXPECT_EQ(s[0].args, (std::vector<double>{1.0, 2.0, 0.0}));
        EXPECT_EQ(s[1].fn, "glPointSize");
        EXPECT_EQ(s[1].args[0], 3.0);
        EXPECT_EQ(s[2].fn, "glBegin");
        EXPECT_EQ(s[2].args[0], GL_POINTS);
        EXPECT_TRUE(sameFloats(s[3], want[k].x, want[k].y, want[k].z)) << k;
        EXPECT_EQ(s[4].fn, "glEnd");
    }
}

TEST_F(Editor, DrawSurfaceRebuildsTheBaseGridFirst) {
    startAndSettle();
    controlGrid.rows = 2;
    controlGrid.cols = 3;  // the new size shows in the same pass
    controlGrid.base[0][2] = {0, 0, 0};
    drawSurface();
    EXPECT_EQ(controlGrid.base[0][2].x, 300.0);
    EXPECT_EQ(countCalls("glVertex3f"), 2500u);
}

TEST_F(Editor, ControlPointsAreRedDotsWithTheirLettersFiveAbove) {
    startAndSettle();
    controlGrid.offset[2][3] = {1, 2, 3};
    drawControlPoints();
    const auto& c = glRecord.calls;
    ASSERT_EQ(c.size(), 16u * 7);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            const GlCall* s = &c[(i * 4 + j) * 7];
            const Vec3d p = controlPoint(i, j);
            EXPECT_EQ(s[0].args, (std::vector<double>{1, 0, 0}));
            EXPECT_EQ(s[1].fn, "glPointSize");
            EXPECT_EQ(s[1].args[0], 7.0);
            EXPECT_EQ(s[2].args[0], GL_POINTS);
            EXPECT_TRUE(sameFloats(s[3], float(p.x), float(p.y), float(p.z)));
            EXPECT_EQ(s[4].fn, "glEnd");
            EXPECT_EQ(s[5].fn, "glRasterPos3f");
            EXPECT_TRUE(sameFloats(s[5], float(p.x), float(p.y), float(p.z + 5.0)));
            EXPECT_EQ(s[6].fn, "glutBitmapCharacter");
            EXPECT_EQ(s[6].ptr, GLUT_BITMAP_TIMES_ROMAN_24);
            EXPECT_EQ(s[6].args[0], controlGrid.labels[i * 4 + j][0]);
        }
    }
}

TEST_F(Editor, DrawTextSetsTheRasterPositionThenEachCharacter) {
    drawText(1.5f, -2.0f, 3.25f, GLUT_BITMAP_TIMES_ROMAN_24, "ab\xe3");
    ASSERT_EQ(callNames(), (std::vector<std::string>{"glRasterPos3f", "glutBitmapCharacter",
                                                      "glutBitmapCharacter", "glutBitmapCharacter"}));
    EXPECT_TRUE(sameFloats(glRecord.calls[0], 1.5f, -2.0f, 3.25f));
    EXPECT_EQ(glRecord.calls[1].args[0], 'a');
    EXPECT_EQ(glRecord.calls[3].args[0], 0xe3);  // Latin-1 bytes go out as 0..255, not negative
}

TEST_F(Editor, ControlNetJoinsNeighboursRowsFirstThenColumns) {
    startAndSettle();
    controlGrid.offset[1][2] = {0, 0, 40};
    drawControlNet();
    const auto segs = segmentsInColour(glRecord.calls, 0, 1, 0);
    ASSERT_EQ(segs.size(), 24u);
    EXPECT_EQ(countCalls("glBegin"), 24u);  // one batch per segment
    EXPECT_EQ(countCalls("glColor3f"), 24u);
    size_t k = 0;
    auto expectSeg = [&](int i0, int j0, int i1, int j1) {
        const Vec3d a = controlPoint(i0, j0), b = controlPoint(i1, j1);
        EXPECT_TRUE(sameFloats(segs[k].first, float(a.x), float(a.y), float(a.z))) << k;
        EXPECT_TRUE(sameFloats(segs[k].second, float(b.x), float(b.y), float(b.z))) << k;
        ++k;
    };
    for (int i = 0; i < 4; ++i) for (int j = 0; j < 3; ++j) expectSeg(i, j, i, j + 1);
    for (int i = 0; i < 3; ++i) for (int j = 0; j < 4; ++j) expectSeg(i, j, i + 1, j);
}

TEST_F(Editor, FrameDrawsSurfaceThenPointsThenNetForEverySize) {
    for (int rows = 1; rows <= 4; ++rows) {
        for (int cols = 1; cols <= 4; ++cols) {
            const std::vector<GlCall> calls = patchCalls(rows, cols);
            const size_t push = findFrom(calls, "glPushMatrix");
            const std::vector<GlCall> patch(calls.begin() + push, calls.end());
            const auto samples = pointsInColour(patch, 1, 2, 0);
            const auto points = pointsInColour(patch, 1, 0, 0);
            const auto net = segmentsInColour(patch, 0, 1, 0);
            EXPECT_EQ(samples.size(), 2500u);
            EXPECT_EQ(points.size(), size_t(rows * cols));
            EXPECT_EQ(net.size(), size_t(rows * (cols - 1) + (rows - 1) * cols)) << rows << "x" << cols;
            // Labels belong to grid positions, whatever the active size.
            std::string letters;
            for (const GlCall& c : patch) if (c.fn == "glutBitmapCharacter") letters += char(c.args[0]);
            std::string want;
            for (int i = 0; i < rows; ++i) for (int j = 0; j < cols; ++j) want += controlGrid.labels[i * 4 + j];
            EXPECT_EQ(letters, want);
            // Order: every yellow colour call, then every red one, then every green one.
            std::string order;
            for (const GlCall& c : patch) {
                if (c.fn != "glColor3f") continue;
                const char tag = c.args[1] == 2.0 ? 'Y' : c.args[0] == 1.0 ? 'R' : 'G';
                if (order.empty() || order.back() != tag) order += tag;
            }
            EXPECT_EQ(order, rows * cols > 1 ? "YRG" : "YR") << rows << "x" << cols;
        }
    }
}

TEST_F(Editor, ObjectTransformRotatesThenTranslatesWithTheRawAxisVector) {
    const struct { RotationAxis axis; float x, y, z; } axes[] = {
        {AXIS_ZZ, 0, 0, 1}, {AXIS_YY, 0, 1, 0}, {AXIS_XX, 1, 0, 0},
        {AXIS_XZ, 1, 0, 1}, {AXIS_YZ, 0, 1, 1}, {AXIS_XY, 1, 1, 0}};
    for (const auto& a : axes) {
        resetRecord();
        editorState.rotationAxis = a.axis;
        editorState.rotationAngle = -390.0f;
        editorState.translation = {0.0f, 0.0f, 150.0f};
        applyObjectTransform();
        ASSERT_EQ(callNames(), (std::vector<std::string>{"glRotatef", "glTranslatef"}));
        EXPECT_EQ(glRecord.calls[0].args, (std::vector<double>{-390.0, a.x, a.y, a.z}));
        EXPECT_EQ(glRecord.calls[1].args, (std::vector<double>{0.0, 0.0, 150.0}));
    }
}

TEST_F(Editor, ZeroAngleAndTranslationLeaveThePatchInPlaceForEveryAxis) {
    for (RotationAxis axis : {AXIS_ZZ, AXIS_YY, AXIS_XX, AXIS_XZ, AXIS_YZ, AXIS_XY}) {
        resetRecord();
        editorState.rotationAxis = axis;
        applyObjectTransform();
        const Mat m = recordedTransform();
        for (int k = 0; k < 16; ++k) EXPECT_NEAR(m[k], identity()[k], 1e-12) << axis;
    }
}

TEST_F(Editor, TranslationFollowsThePatchAxisTurnedByTheRotation) {
    editorState.rotationAxis = AXIS_XX;
    editorState.rotationAngle = 90.0f;
    applyObjectTransform();
    const auto rotatedOnly = apply(multiply(identity(), rotation(90, 1, 0, 0)), 100, 100, 0);
    resetRecord();
    editorState.translation.tz = 50.0f;
    applyObjectTransform();
    const auto moved = apply(recordedTransform(), 100, 100, 0);
    EXPECT_NEAR(moved[0] - rotatedOnly[0], 0.0, 1e-9);
    EXPECT_NEAR(moved[1] - rotatedOnly[1], -50.0, 1e-9);  // the patch's z now points along -y
    EXPECT_NEAR(moved[2] - rotatedOnly[2], 0.0, 1e-9);
}

TEST_F(Editor, DiagonalRotationTurnsAboutTheOriginNotThePatch) {
    editorState.rotationAxis = AXIS_XY;
    editorState.rotationAngle = 180.0f;
    applyObjectTransform();
    // Half a turn about (1, 1, 0) through the origin maps (x, y, z) to (y, x, -z).
    const auto p = apply(recordedTransform(), 100, 400, 30);
    EXPECT_NEAR(p[0], 400, 1e-9);
    EXPECT_NEAR(p[1], 100, 1e-9);
    EXPECT_NEAR(p[2], -30, 1e-9);
}
