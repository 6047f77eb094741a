// The event storm: a million decoded events over eight seeds, each followed by the invariant check,
// and the checks themselves shown to catch the faults they exist for.
#include <gtest/gtest.h>

#include <GL/glut.h>

#include <bitset>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <set>

#include "app/app.h"
#include "app/editor_state.h"
#include "input/input.h"
#include "storm_run.h"
#include "tests/recorder.h"

namespace {
constexpr long kEventsPerSeed = 125000;
constexpr uint32_t kSeeds[] = {1, 2, 3, 0x5eed, 20240601, 0xdeadbeef, 77777, 4000000007u};

// What a run reached, so a change to the decoder cannot quietly stop covering an input class.
struct Reached {
    std::bitset<256> keys;
    std::set<int> special;
    std::set<std::pair<int, int>> menus;  // (kind, value)
    bool zeroHeight = false, zeroWidth = false, oneBy1 = false, negative = false, huge = false;
    long frames = 0;
    long idles = 0;

    void see(const Event& e) {
        switch (e.kind) {
        case EventKind::Key: keys.set(static_cast<size_t>(e.a)); break;
        case EventKind::Special: special.insert(e.a); break;
        case EventKind::Reshape:
            zeroHeight |= e.b == 0;
            zeroWidth |= e.a == 0 && e.b != 0;
            oneBy1 |= e.a == 1 && e.b == 1;
            negative |= e.a < 0 || e.b < 0;
            huge |= e.a == INT_MAX || e.b == INT_MAX;
            break;
        case EventKind::Display: ++frames; break;
        case EventKind::Idle: ++idles; break;
        default: menus.insert({static_cast<int>(e.kind), e.a}); break;
        }
    }
    bool menuSaw(EventKind k, int value) const { return menus.count({static_cast<int>(k), value}) > 0; }
};

class Storm : public ::testing::TestWithParam<uint32_t> {};

TEST_P(Storm, EveryEventKeepsEveryInvariant) {
    const uint32_t seed = GetParam();
    Reached reached;
    const StormResult r = runStorm(seed, kEventsPerSeed, [&](long, const Event& e) { reached.see(e); });
    ASSERT_EQ(r.failedAt, -1) << "seed " << seed << ", event " << r.failedAt << " ("
                              << describeEvent(r.failedEvent) << "): " << r.what
                              << "\n  replay: storm_replay " << seed << " " << r.failedAt;
    EXPECT_EQ(r.events, kEventsPerSeed);
    std::printf("seed %u: %ld events, %ld displays, %ld idles, worst center - eye error %g\n", seed,
                r.events, reached.frames, reached.idles, r.worstDrift);

    EXPECT_EQ(reached.keys.count(), 256u) << "seed " << seed << " missed key bytes";
    for (int code : {GLUT_KEY_LEFT, GLUT_KEY_RIGHT, GLUT_KEY_UP, GLUT_KEY_DOWN, GLUT_KEY_F1, 0, -1,
                     INT_MIN, INT_MAX}) {
        EXPECT_TRUE(reached.special.count(code)) << "seed " << seed << " missed special " << code;
    }
    EXPECT_GT(reached.special.size(), 100u) << "raw special codes are missing";
    struct MenuCase { EventKind kind; std::vector<int> values; };
    const MenuCase menus[] = {
        {EventKind::RowsMenu, {100, 103, 99, 104, INT_MIN, INT_MAX}},
        {EventKind::ColsMenu, {105, 108, 104, 109, INT_MIN, INT_MAX}},
        {EventKind::PointMenu, {201, 216, 200, 217, INT_MIN, INT_MAX}},
        {EventKind::AxisMenu, {301, 306, 300, 307, INT_MIN, INT_MAX}},
        {EventKind::InfoMenu, {400, 413, 506, 0, INT_MIN, INT_MAX}},
        {EventKind::MainMenu, {3, -kQuitMenuValue, 5, INT_MIN, INT_MAX}},
    };
    for (const MenuCase& m : menus) {
        for (int v : m.values) {
            EXPECT_TRUE(reached.menuSaw(m.kind, v)) << "seed " << seed << " missed menu "
                                                    << describeEvent({m.kind, v});
        }
    }
    EXPECT_FALSE(reached.menuSaw(EventKind::MainMenu, kQuitMenuValue));
    EXPECT_TRUE(reached.zeroHeight && reached.zeroWidth && reached.oneBy1 && reached.negative &&
                reached.huge);
    EXPECT_GT(reached.frames, 100);
    EXPECT_GT(reached.idles, 100);
}

INSTANTIATE_TEST_SUITE_P(Seeds, Storm, ::testing::ValuesIn(kSeeds),
                         [](const ::testing::TestParamInfo<uint32_t>& p) {
                             return "seed_" + std::to_string(p.param);
                         });

// Each case breaks one thing the checker guards, before or after the event runs, and the checker
// must name it.
TEST(StormChecker, CatchesEachKindOfBreak) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        Event event;
        std::function<void()> breakState;    // before the event
        std::function<void()> breakRecord;   // after it
        const char* expect;                  // a piece of the message
    };
    const Event key{EventKind::Key, 'Q'};  // a key that changes nothing itself
    const Event frame{EventKind::Display};
    const auto none = [] {};
    const Case cases[] = {
        {"no rows", key, [] { controlGrid.rows = 0; }, none, "grid is 0 x 4"},
        {"five cols", key, [] { controlGrid.cols = 5; }, none, "grid is 4 x 5"},
        {"half deselected", key, [] { controlGrid.selectedRow = -1; controlGrid.selectedCol = 3; }, none, "selection is (-1, 3)"},
        {"row out of range", frame, [] { controlGrid.selectedRow = 4; }, none, "selection is (4, 0)"},
        {"seventh axis", key, [] { editorState.rotationAxis = static_cast<RotationAxis>(6); }, none, "rotation axis is 6"},
        {"eye NaN", key, [&] { editorState.eye.x = nan; }, none, "camera is not finite"},
        {"angle infinite", key, [&] { editorState.rotationAngle = inf; }, none, "patch transform"},
        {"view drift", key, [] { editorState.center.x += 1e-9; }, none, "center - eye is off"},
        {"vertex infinite", frame, [&] { controlGrid.offset[1][2].z = inf; }, none, "glVertex3f was given"},
        {"frame lost a sample", frame, none, [] { glRecord.calls.erase(glRecord.calls.begin() + 40); }, "frame: call 40"},
        {"frame drew extra", frame, none, [] { glRecord.calls.push_back(GlCall{"glEnd", {}, {}}); }, "extra glEnd"},
        {"wrong label", frame, none, [] { glRecord.calls[glRecord.calls.size() - 24 * 5 - 2 - 1].args[0] = 'x'; }, "glutBitmapCharacter"},
        {"key drew", key, none, [] { glRecord.calls.push_back(GlCall{"glEnd", {}, {}}); }, "one glutPostRedisplay"},
        {"reshape skipped", {EventKind::Reshape, 4, 3}, none, [] { glRecord.calls.clear(); }, "glViewport"},
    };
    for (const Case& c : cases) {
        restartEditor();
        InvariantChecker checker;
        checker.restart();
        checker.before(frame);  // settle: the first frame performs the start-up reset
        display();
        ASSERT_EQ(checker.after(frame), "") << c.name;
        c.breakState();
        checker.before(c.event);
        dispatchEvent(c.event);
        c.breakRecord();
        const std::string what = checker.after(c.event);
        EXPECT_NE(what, "") << c.name;
        EXPECT_NE(what.find(c.expect), std::string::npos) << c.name << ": " << what;
    }
}

TEST(StormChecker, DriftBoundCoversManySidewaysSteps) {
    // A long sideways walk far from the origin: the real drift must stay within the bound the
    // checker uses, and the bound must stay far below anything a viewer could see.
    restartEditor();
    InvariantChecker checker;
    checker.restart();
    for (int k = 0; k < 20000; ++k) {
        const Event e{EventKind::Special, k % 3 == 2 ? GLUT_KEY_UP : GLUT_KEY_LEFT};
        checker.before(e);
        dispatchEvent(e);
        ASSERT_EQ(checker.after(e), "") << "step " << k;
    }
    EXPECT_GT(checker.worstDrift(), 0.0);  // rounding did happen: the bound is not vacuous here
    EXPECT_LT(cameraDriftBound(20000, std::fabs(editorState.eye.z) + 1e6), 1e-4);
}

// The decoder reads exactly what the layout says and stops short rather than reading past the end.
TEST(StormDecoder, DecodesEachLayoutAndStopsAtTheEnd) {
    struct Case { std::vector<uint8_t> bytes; size_t used; EventKind kind; int a, b; };
    const Case cases[] = {
        {{0, 0}, 2, EventKind::Key, 'q', 0},
        {{5, 0x80, 0xff}, 3, EventKind::Key, 0xff, 0},
        {{112, 0}, 2, EventKind::Special, GLUT_KEY_LEFT, 0},
        {{112, 0xf0, 0x78, 0x56, 0x34, 0x12}, 6, EventKind::Special, 0x12345678, 0},
        {{144, 3}, 2, EventKind::RowsMenu, 103, 0},
        {{149, 0}, 2, EventKind::MainMenu, 3, 0},
        {{149, 0xf0, 4, 0, 0, 0}, 6, EventKind::MainMenu, -kQuitMenuValue, 0},
        {{147, 0x80}, 2, EventKind::AxisMenu, INT_MIN, 0},
        {{240, 0, 0xf0, 0xff, 0xff, 0xff, 0xff}, 7, EventKind::Reshape, 0, -1},
        {{254, 1, 0}, 3, EventKind::Reshape, 1, 0},
        {{255, 4}, 2, EventKind::Display, 0, 0},
        {{255, 7}, 2, EventKind::Idle, 0, 0},
    };
    for (const Case& c : cases) {
        Event e;
        EXPECT_EQ(decodeEvent(c.bytes.data(), c.bytes.size(), e), c.used) << describeEvent(e);
        EXPECT_EQ(e.kind, c.kind) << describeEvent(e);
        EXPECT_EQ(e.a, c.a) << describeEvent(e);
        if (c.kind == EventKind::Reshape) {
            EXPECT_EQ(e.b, c.b);
        }
        for (size_t n = 0; n < c.used; ++n) {
            EXPECT_EQ(decodeEvent(c.bytes.data(), n, e), 0u) << "cut to " << n << " bytes";
        }
    }
}
}  // namespace
