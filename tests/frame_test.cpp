// Start-up, projection and the order of a frame, call by call.
#include <GL/glut.h>

#include "fixture.h"
#include "input/input.h"

TEST_F(Editor, StartUpRunsInOrderAndHandsArgumentsToGlut) {
    char a0[] = "vellorin", a1[] = "-display", a2[] = ":9";
    char* argv[] = {a0, a1, a2, nullptr};
    EXPECT_EQ(runEditor(3, argv), 0);  // the stand-in's main loop returns at once
    const std::vector<std::string> want = {
        "glutInit", "glutInitDisplayMode", "glutInitWindowSize", "glutInitWindowPosition",
        "glutCreateWindow",
        "glClearColor", "glClearDepth", "glDepthFunc", "glEnable", "glShadeModel",
        "glMatrixMode", "glLoadIdentity", "glMatrixMode",
        "glutReshapeFunc", "glutDisplayFunc", "glutKeyboardFunc", "glutSpecialFunc", "glutIdleFunc"};
    std::vector<std::string> names = callNames();
    ASSERT_GE(names.size(), want.size());
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + want.size()), want);
    EXPECT_EQ(names.back(), "glutMainLoop");
    EXPECT_EQ(glRecord.initArgs, (std::vector<std::string>{"vellorin", "-display", ":9"}));

    const auto& c = glRecord.calls;
    EXPECT_EQ(c[1].args[0], 18.0);  // RGB | DOUBLE | DEPTH
    EXPECT_EQ(c[2].args, (std::vector<double>{900, 700}));
    EXPECT_EQ(c[3].args, (std::vector<double>{100, 100}));
    EXPECT_EQ(c[4].text, " Vellorin ");
    EXPECT_EQ(c[5].args, (std::vector<double>{0.7f, 0.7f, 1.0f, 0.0f}));
    EXPECT_EQ(c[6].args[0], 1.0);
    EXPECT_EQ(c[7].args[0], GL_LEQUAL);
    EXPECT_EQ(c[8].args[0], GL_DEPTH_TEST);
    EXPECT_EQ(c[9].args[0], GL_SMOOTH);
    EXPECT_EQ(c[10].args[0], GL_PROJECTION);
    EXPECT_EQ(c[12].args[0], GL_MODELVIEW);
    EXPECT_EQ(countCalls("glEnable"), 1u);  // depth test only: lighting is never switched on

    EXPECT_EQ(glRecord.reshape, &reshape);
    EXPECT_EQ(glRecord.display, &display);
    EXPECT_EQ(glRecord.keyboard, &onKeyboard);
    EXPECT_EQ(glRecord.special, &onSpecialKey);
    EXPECT_EQ(glRecord.idle, &idle);
    EXPECT_EQ(glRecord.attachedButton, GLUT_RIGHT_BUTTON);
}

TEST_F(Editor, ReshapeWithZeroHeightChangesNothing) {
    const EditorState before = editorState;
    reshape(640, 0);
    EXPECT_TRUE(glRecord.calls.empty());
    EXPECT_EQ(0, std::memcmp(&before, &editorState, sizeof editorState));
}

TEST_F(Editor, ReshapeSetsViewportAndPerspective) {
    const int sizes[][2] = {{900, 700}, {1, 1}, {1280, 1}, {3, 1000}, {0, 500}};
    for (const auto& sz : sizes) {
        resetRecord();
        reshape(sz[0], sz[1]);
        const double aspect = double(sz[0]) / double(sz[1]);
        EXPECT_EQ(callNames(), (std::vector<std::string>{"glViewport", "glMatrixMode", "glLoadIdentity",
                                                          "gluPerspective", "glMatrixMode"}));
        const auto& c = glRecord.calls;
        EXPECT_EQ(c[0].args, (std::vector<double>{0, 0, double(sz[0]), double(sz[1])}));
        EXPECT_EQ(c[1].args[0], GL_PROJECTION);
        EXPECT_EQ(c[3].args, (std::vector<double>{35.0, aspect, 1.0, 20000.0}));
        EXPECT_EQ(c[4].args[0], GL_MODELVIEW);
        EXPECT_EQ(editorState.aspect, aspect);
        EXPECT_EQ(editorState.windowWidth, sz[0]);
        EXPECT_EQ(editorState.windowHeight, sz[1]);
    }
}

TEST_F(Editor, FirstFrameResetsAfterTheCameraIsSet) {
    editorState.eye = {10, 20, 30};  // a camera that only the reset would replace
    controlGrid.offset[9][9] = {1, 1, 1};
    const std::vector<GlCall> calls = frameCalls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0].fn, "glClear");
    EXPECT_EQ(calls[0].args[0], GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    EXPECT_EQ(calls[1].fn, "glLoadIdentity");
    EXPECT_EQ(calls[2].fn, "gluLookAt");
    EXPECT_EQ(calls[2].args, (std::vector<double>{10, 20, 30, 0, 0, 2, 0, 0, 1}));
    // The reset happened within the frame: grid rebuilt, offsets gone, camera restored for next time.
    EXPECT_FALSE(editorState.resetPending);
    EXPECT_EQ(controlGrid.offset[9][9].x, 0.0);
    EXPECT_EQ(controlGrid.base[3][3].x, 400.0);
    EXPECT_EQ(frameCalls()[2].args, (std::vector<double>{900, 900, 350, 0, 0, 2, 0, 0, 1}));
}

TEST_F(Editor, AxesAreTwoBatchesOfThreeSegmentsFromTheOrigin) {
    drawAxes(6000.0f);
    const float L = 6000.0f;
    const auto bright = segmentsInColour(glRecord.calls, 1, 0, 0);
    struct Seg { float r, g, b, x, y, z; };
    const Seg want[] = {{1, 0, 0, L, 0, 0}, {0, 1, 0, 0, L, 0}, {0, 0, 1, 0, 0, L},
                        {0.7f, 0, 0, -L, 0, 0}, {0, 0.7f, 0, 0, -L, 0}, {0, 0, 0.7f, 0, 0, -L}};
    for (const Seg& s : want) {
        const auto segs = segmentsInColour(glRecord.calls, s.r, s.g, s.b);
        ASSERT_EQ(segs.size(), 1u) << s.r << "," << s.g << "," << s.b;
        EXPECT_TRUE(sameFloats(segs[0].first, 0, 0, 0));
        EXPECT_TRUE(sameFloats(segs[0].second, s.x, s.y, s.z));
    }
    EXPECT_EQ(countCalls("glBegin"), 2u);
    EXPECT_EQ(countCalls("glEnd"), 2u);
    EXPECT_EQ(bright.size(), 1u);
}

TEST_F(Editor, FrameDrawsInTheFixedOrder) {
    startAndSettle();
    const std::vector<GlCall> calls = frameCalls();
    std::vector<std::string> names;
    for (const GlCall& c : calls) names.push_back(c.fn);
    auto at = [&](const std::string& fn) {
        return std::find(names.begin(), names.end(), fn) - names.begin();
    };
    // Axes (two GL_LINES batches) come before the push; the patch sits between push and pop.
    EXPECT_LT(at("gluLookAt"), at("glBegin"));
    const long push = at("glPushMatrix");
    EXPECT_EQ(names[push + 1], "glRotatef");
    EXPECT_EQ(names[push + 2], "glTranslatef");
    EXPECT_EQ(names[names.size() - 2], "glPopMatrix");
    EXPECT_EQ(names.back(), "glutSwapBuffers");
    long beginsBeforePush = std::count(names.begin(), names.begin() + push, "glBegin");
    EXPECT_EQ(beginsBeforePush, 2);
    EXPECT_EQ(countCalls("glPushMatrix"), 1u);
    EXPECT_EQ(countCalls("glPopMatrix"), 1u);
    // Nothing draws outside the frame's own calls: a frame never asks for another redraw.
    EXPECT_EQ(countCalls("glutPostRedisplay"), 0u);
}

TEST_F(Editor, IdleDrawsAFrameDirectly) {
    startAndSettle();
    const size_t frame = frameCalls().size();
    resetRecord();
    idle();
    EXPECT_EQ(glRecord.calls.size(), frame);
    EXPECT_EQ(glRecord.calls.back().fn, "glutSwapBuffers");
    EXPECT_EQ(countCalls("glutPostRedisplay"), 0u);
}
