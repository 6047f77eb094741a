// Keyboard commands and camera keys: each key's own action, the mode effects after it, and the
// one redraw request every key ends with.
#include <GL/glut.h>

#include <cmath>

#include "fixture.h"
#include "input/input.h"

namespace {
// The parts of both records that keys change, for compact before/after tables.
struct Snapshot {
    bool rotation, translation, x, y, z;
    int row, col;
    float angle, tz;
    bool operator==(const Snapshot& o) const {
        return rotation == o.rotation && translation == o.translation && x == o.x && y == o.y &&
               z == o.z && row == o.row && col == o.col && angle == o.angle && tz == o.tz;
    }
};

std::ostream& operator<<(std::ostream& os, const Snapshot& s) {
    return os << "{rot " << s.rotation << " tr " << s.translation << " xyz " << s.x << s.y << s.z
              << " sel " << s.row << "," << s.col << " angle " << s.angle << " tz " << s.tz << "}";
}

Snapshot snapshot() {
    const EditorState& e = editorState;
    return {e.rotationMode, e.translationMode, e.xMove, e.yMove, e.zMove,
            controlGrid.selectedRow, controlGrid.selectedCol, e.rotationAngle, e.translation.tz};
}

void apply(const Snapshot& s) {
    EditorState& e = editorState;
    e.rotationMode = s.rotation; e.translationMode = s.translation;
    e.xMove = s.x; e.yMove = s.y; e.zMove = s.z;
    controlGrid.selectedRow = s.row; controlGrid.selectedCol = s.col;
    e.rotationAngle = s.angle; e.translation.tz = s.tz;
}

double offsetSum() {
    double sum = 0;
    for (const auto& row : controlGrid.offset)
        for (const Vec3d& o : row) sum += std::abs(o.x) + std::abs(o.y) + std::abs(o.z);
    return sum;
}

const char kPointKeys[] = "qweuiopasdfghjkl";
}  // namespace

TEST_F(Editor, TypicalEditMovesPointDUpAndTheNextFrameDrawsItThere) {
    startAndSettle();
    pressKeys("dz+++");
    EXPECT_EQ(controlGrid.offset[2][1].z, 15.0);
    EXPECT_EQ(offsetSum(), 15.0);
    EXPECT_EQ(countCalls("glutPostRedisplay"), 5u);
    EXPECT_EQ(countCalls("glBegin"), 0u);  // keys never draw

    const std::vector<GlCall> frame = frameCalls();
    const auto red = pointsInColour(frame, 1, 0, 0);
    ASSERT_EQ(red.size(), 16u);
    EXPECT_TRUE(sameFloats(red[2 * 4 + 1], 200.0f, 300.0f, 15.0f));
    const auto rasters = callsNamed("glRasterPos3f");
    ASSERT_EQ(rasters.size(), 16u);
    EXPECT_TRUE(sameFloats(rasters[2 * 4 + 1], 200.0f, 300.0f, 20.0f));
    int touching = 0;
    for (const auto& seg : segmentsInColour(frame, 0, 1, 0)) {
        for (const GlCall* end : {&seg.first, &seg.second}) {
            if (sameFloats(*end, 200.0f, 300.0f, 15.0f)) ++touching;
            else EXPECT_EQ(end->args[2], 0.0);  // every other net vertex stays in the plane
        }
    }
    EXPECT_EQ(touching, 4);
}

TEST_F(Editor, KeysActThenModesTakeOverAndEveryKeyRedrawsOnce) {
    const Snapshot idle{false, false, false, false, false, 1, 2, 0, 0};
    const Snapshot flags{false, false, true, false, true, 1, 2, 0, 0};
    const Snapshot rot{true, false, false, false, false, -1, -1, 60, 0};
    const Snapshot tr{false, true, false, false, false, -1, -1, 0, 100};
    const Snapshot both{true, true, false, false, false, -1, -1, 30, 50};
    const Snapshot rotMenuPick{true, false, true, false, false, 3, 3, 0, 0};  // point and flag from the menu
    struct Case { const char* what; Snapshot before; unsigned char key; Snapshot after; };
    const Case cases[] = {
        {"r starts rotation", flags, 'r', {true, false, false, false, false, -1, -1, 0, 0}},
        {"t starts translation", flags, 't', {false, true, false, false, false, -1, -1, 0, 0}},
        {"r ends rotation, keeps no point", rot, 'r', {false, false, false, false, false, -1, -1, 60, 0}},
        {"r with both on leaves translation", both, 'r', {false, true, false, false, false, -1, -1, 30, 50}},
        {"t with both on leaves rotation", both, 't', {true, false, false, false, false, -1, -1, 30, 50}},
        {"x toggles on", idle, 'x', {false, false, true, false, false, 1, 2, 0, 0}},
        {"x toggles off", flags, 'x', {false, false, false, false, true, 1, 2, 0, 0}},
        {"y joins the others", flags, 'y', {false, false, true, true, true, 1, 2, 0, 0}},
        {"z toggles off", flags, 'z', {false, false, true, false, false, 1, 2, 0, 0}},
        {"x ends both modes", both, 'x', {false, false, true, false, false, -1, -1, 30, 50}},
        {"z ends translation", tr, 'z', {false, false, false, false, true, -1, -1, 0, 100}},
        {"+ turns in rotation mode", rot, '+', {true, false, false, false, false, -1, -1, 90, 0}},
        {"- turns back", rot, '-', {true, false, false, false, false, -1, -1, 30, 0}},
        {"+ moves along z in translation", tr, '+', {false, true, false, false, false, -1, -1, 0, 150}},
        {"- moves back along z", tr, '-', {false, true, false, false, false, -1, -1, 0, 50}},
        {"+ does both with both on", both, '+', {true, true, false, false, false, -1, -1, 60, 100}},
        {"- does both with both on", both, '-', {true, true, false, false, false, -1, -1, 0, 0}},
        {"+ drops a menu pick in a mode", rotMenuPick, '+', {true, false, false, false, false, -1, -1, 30, 0}},
        {"x keeps a menu pick", rotMenuPick, 'x', {false, false, false, false, false, 3, 3, 0, 0}},
        {"r keeps a menu pick", rotMenuPick, 'r', {false, false, false, false, false, 3, 3, 0, 0}},
        {"point key replaces a menu pick", rotMenuPick, 'd', {false, false, true, false, false, 2, 1, 0, 0}},
        {"unlisted key, no mode", flags, 'b', flags},
        {"upper case, no mode", flags, 'X', flags},
        {"escape, no mode", flags, 27, flags},
        {"byte 255, no mode", flags, 255, flags},
        {"upper case in a mode", rotMenuPick, 'Q', {true, false, false, false, false, -1, -1, 0, 0}},
        {"escape in a mode", both, 27, both},
        {"NUL in a mode", rotMenuPick, 0, {true, false, false, false, false, -1, -1, 0, 0}},
    };
    for (const Case& c : cases) {
        restoreStart();
        apply(c.before);
        onKeyboard(c.key, 10, 20);
        EXPECT_EQ(snapshot(), c.after) << c.what;
        EXPECT_EQ(callNames(), std::vector<std::string>{"glutPostRedisplay"}) << c.what;
        EXPECT_EQ(offsetSum(), 0.0) << c.what;
    }
}

TEST_F(Editor, EveryPointKeySelectsItsPointAndEndsTheModes) {
    for (int k = 0; k < 16; ++k) {
        restoreStart();
        controlGrid.rows = 2;  // selection reaches points outside the active grid too
        controlGrid.cols = 2;
        apply({true, true, true, false, true, -1, -1, 30, 50});
        onKeyboard(kPointKeys[k], 0, 0);
        EXPECT_EQ(snapshot(), (Snapshot{false, false, true, false, true, k / 4, k % 4, 30, 50})) << kPointKeys[k];
        EXPECT_EQ(controlGrid.labels[k][0], kPointKeys[k]);  // a point's key is its label
    }
}

TEST_F(Editor, PlusAndMinusMoveTheSelectedPointOnlyWithoutAMode) {
    startAndSettle();
    pressKeys("lx++y+z-");  // (3, 3): x twice, x and y once, then x and y and z back once
    EXPECT_EQ(controlGrid.offset[3][3].x, 10.0);
    EXPECT_EQ(controlGrid.offset[3][3].y, 0.0);
    EXPECT_EQ(controlGrid.offset[3][3].z, -5.0);
    EXPECT_EQ(offsetSum(), 15.0);

    restoreStart();
    pressKeys("x");
    controlGrid.selectedRow = controlGrid.selectedCol = -1;
    pressKeys("++--");  // nothing selected
    EXPECT_EQ(offsetSum(), 0.0);

    // In a mode no step ever reaches a point, even one picked meanwhile from the menu.
    for (const char* keys : {"r", "t", "rt"}) {
        restoreStart();
        pressKeys(keys);
        onPointMenu(206);
        editorState.xMove = editorState.zMove = true;
        pressKeys("+-+");
        EXPECT_EQ(offsetSum(), 0.0) << keys;
    }
}

TEST_F(Editor, RotationAndTranslationAreNeverWrappedOrBounded) {
    pressKeys("r");
    for (int k = 0; k < 12; ++k) pressKeys("+");
    EXPECT_EQ(editorState.rotationAngle, 360.0f);
    pressKeys("++");
    EXPECT_EQ(editorState.rotationAngle, 420.0f);
    pressKeys("rt");
    for (int k = 0; k < 1000; ++k) pressKeys("-");
    EXPECT_EQ(editorState.translation.tz, -50000.0f);
    EXPECT_EQ(editorState.rotationAngle, 420.0f);
    EXPECT_EQ(editorState.translation.tx, 0.0f);
    EXPECT_EQ(editorState.translation.ty, 0.0f);
}

TEST_F(Editor, ArrowKeysSlideTheCameraWithoutTurningIt) {
    const Vec3d d0{editorState.center.x - editorState.eye.x, editorState.center.y - editorState.eye.y,
                   editorState.center.z - editorState.eye.z};
    const double len = std::sqrt(d0.x * d0.x + d0.y * d0.y + d0.z * d0.z);
    struct Case { int key; Vec3d move; };
    const double sx = -d0.y / len * 20, sy = d0.x / len * 20;
    const Case cases[] = {{GLUT_KEY_LEFT, {sx, sy, 0}}, {GLUT_KEY_RIGHT, {-sx, -sy, 0}},
                          {GLUT_KEY_UP, {0, 0, 20}}, {GLUT_KEY_DOWN, {0, 0, -20}},
                          {GLUT_KEY_F1, {0, 0, 0}}, {GLUT_KEY_HOME, {0, 0, 0}}, {-7, {0, 0, 0}}};
    for (const Case& c : cases) {
        restoreStart();
        const Vec3d eye = editorState.eye, center = editorState.center;
        onSpecialKey(c.key, 5, 5);
        EXPECT_EQ(editorState.eye.x, eye.x + c.move.x) << c.key;
        EXPECT_EQ(editorState.eye.y, eye.y + c.move.y) << c.key;
        EXPECT_EQ(editorState.eye.z, eye.z + c.move.z) << c.key;
        EXPECT_EQ(editorState.center.x, center.x + c.move.x) << c.key;
        EXPECT_EQ(editorState.center.y, center.y + c.move.y) << c.key;
        EXPECT_EQ(editorState.center.z, center.z + c.move.z) << c.key;
        EXPECT_EQ(callNames(), std::vector<std::string>{"glutPostRedisplay"}) << c.key;
    }
    // Left slides towards +x, -y from the start view; a sideways step is about 19.29 units.
    EXPECT_GT(sx, 0);
    EXPECT_LT(sy, 0);
    EXPECT_NEAR(std::hypot(sx, sy), 19.29, 0.005);
}

TEST_F(Editor, CameraKeySequencesKeepTheViewingDirection) {
    const int keys[] = {GLUT_KEY_LEFT, GLUT_KEY_UP, GLUT_KEY_LEFT, GLUT_KEY_RIGHT, GLUT_KEY_DOWN,
                        GLUT_KEY_DOWN, GLUT_KEY_RIGHT, GLUT_KEY_RIGHT, GLUT_KEY_UP, GLUT_KEY_LEFT};
    for (int round = 0; round < 100; ++round) {
        for (int k : keys) onSpecialKey(k, 0, 0);
    }
    const EditorState& s = editorState;
    EXPECT_NEAR(s.center.x - s.eye.x, -900.0, 1e-9);
    EXPECT_NEAR(s.center.y - s.eye.y, -900.0, 1e-9);
    EXPECT_NEAR(s.center.z - s.eye.z, -348.0, 1e-9);
    // The sequence is balanced, so the camera is back where it started, up to rounding.
    EXPECT_NEAR(s.eye.x, 900.0, 1e-9);
    EXPECT_NEAR(s.eye.y, 900.0, 1e-9);
    EXPECT_EQ(s.eye.z, 350.0);
}
