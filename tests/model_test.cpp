// Editor state and control grid: start values, the reset, the grid builders and point displacement.
#include "fixture.h"

TEST_F(Editor, EditorStateStartsAtItsDocumentedValues) {
    const EditorState& s = editorState;
    EXPECT_TRUE(s.resetPending);
    EXPECT_EQ(s.windowWidth, 900);
    EXPECT_EQ(s.windowHeight, 700);
    EXPECT_EQ(s.aspect, 1.0);
    EXPECT_EQ(s.fovY, 35.0);
    EXPECT_EQ(s.zNear, 1.0);
    EXPECT_EQ(s.zFar, 20000.0);
    EXPECT_EQ(s.eye.x, 900.0); EXPECT_EQ(s.eye.y, 900.0); EXPECT_EQ(s.eye.z, 350.0);
    EXPECT_EQ(s.center.x, 0.0); EXPECT_EQ(s.center.y, 0.0); EXPECT_EQ(s.center.z, 2.0);
    EXPECT_EQ(s.rotationAxis, AXIS_XY);
    EXPECT_EQ(s.rotationAngle, 0.0f);
    EXPECT_EQ(s.translation.tx, 0.0f); EXPECT_EQ(s.translation.ty, 0.0f); EXPECT_EQ(s.translation.tz, 0.0f);
    EXPECT_FALSE(s.rotationMode || s.translationMode || s.xMove || s.yMove || s.zMove);
}

TEST_F(Editor, ControlGridStartsAllZeroWithFourByFourAndFirstPointSelected) {
    const ControlGrid& g = controlGrid;
    EXPECT_EQ(g.rows, 4);
    EXPECT_EQ(g.cols, 4);
    EXPECT_EQ(g.selectedRow, 0);
    EXPECT_EQ(g.selectedCol, 0);
    for (int i = 0; i < kGridCapacity; ++i) {
        for (int j = 0; j < kGridCapacity; ++j) {
            for (const Vec3d& p : {g.base[i][j], g.offset[i][j]}) {
                EXPECT_EQ(p.x, 0.0); EXPECT_EQ(p.y, 0.0); EXPECT_EQ(p.z, 0.0);
            }
        }
    }
    const char* letters[kLabelCount] = {"q", "w", "e", "u", "i", "o", "p", "a",
                                        "s", "d", "f", "g", "h", "j", "k", "l"};
    for (int k = 0; k < kLabelCount; ++k) EXPECT_STREQ(g.labels[k], letters[k]) << k;
}

TEST_F(Editor, AxisVectorsAreTheUnnormalisedAxes) {
    struct Case { RotationAxis axis; float x, y, z; };
    const Case cases[] = {{AXIS_ZZ, 0, 0, 1}, {AXIS_YY, 0, 1, 0}, {AXIS_XX, 1, 0, 0},
                          {AXIS_XZ, 1, 0, 1}, {AXIS_YZ, 0, 1, 1}, {AXIS_XY, 1, 1, 0}};
    for (const Case& c : cases) {
        const AxisVector a = axisVector(c.axis);
        EXPECT_EQ(a.x, c.x); EXPECT_EQ(a.y, c.y); EXPECT_EQ(a.z, c.z);
    }
}

TEST_F(Editor, ResetEditorStateRestoresViewAndEditingButKeepsTheRest) {
    EditorState& s = editorState;
    s = {false, 640, 10, 64.0, 35.0, 1.0, 20000.0, {1, 2, 3}, {4, 5, 6}, AXIS_YZ, 390.0f,
         {1.0f, 2.0f, -150.0f}, true, true, true, true, true};
    controlGrid.rows = 2;
    controlGrid.cols = 3;
    controlGrid.selectedRow = 3;
    controlGrid.selectedCol = 1;
    controlGrid.offset[1][1] = {5, 5, 5};
    controlGrid.base[2][2] = {7, 7, 7};
    const ControlGrid gridBefore = controlGrid;

    resetEditorState();

    EXPECT_EQ(s.rotationAngle, 0.0f);
    EXPECT_EQ(s.translation.tx, 0.0f); EXPECT_EQ(s.translation.ty, 0.0f); EXPECT_EQ(s.translation.tz, 0.0f);
    EXPECT_FALSE(s.xMove || s.yMove || s.zMove || s.rotationMode || s.translationMode);
    EXPECT_EQ(s.eye.x, 900.0); EXPECT_EQ(s.eye.y, 900.0); EXPECT_EQ(s.eye.z, 350.0);
    EXPECT_EQ(s.center.x, 0.0); EXPECT_EQ(s.center.y, 0.0); EXPECT_EQ(s.center.z, 2.0);
    // Left alone: axis, window and projection values, the reset request, the whole grid.
    EXPECT_EQ(s.rotationAxis, AXIS_YZ);
    EXPECT_EQ(s.windowWidth, 640);
    EXPECT_EQ(s.windowHeight, 10);
    EXPECT_EQ(s.aspect, 64.0);
    EXPECT_FALSE(s.resetPending);
    EXPECT_EQ(0, std::memcmp(&gridBefore, &controlGrid, sizeof controlGrid));
}

TEST_F(Editor, BuildBaseGridLaysOutOnlyTheActivePoints) {
    const Vec3d marker{-1, -2, -3};
    for (int rows = 1; rows <= 4; ++rows) {
        for (int cols = 1; cols <= 4; ++cols) {
            for (auto& row : controlGrid.base) for (Vec3d& p : row) p = marker;
            controlGrid.rows = rows;
            controlGrid.cols = cols;
            buildBaseGrid();
            for (int i = 0; i < kGridCapacity; ++i) {
                for (int j = 0; j < kGridCapacity; ++j) {
                    const Vec3d& p = controlGrid.base[i][j];
                    const bool active = i < rows && j < cols;
                    const Vec3d want = active ? Vec3d{100.0 * j + 100, 100.0 * i + 100, 0} : marker;
                    EXPECT_EQ(p.x, want.x) << rows << "x" << cols << " at " << i << "," << j;
                    EXPECT_EQ(p.y, want.y) << rows << "x" << cols << " at " << i << "," << j;
                    EXPECT_EQ(p.z, want.z) << rows << "x" << cols << " at " << i << "," << j;
                }
            }
        }
    }
}

TEST_F(Editor, ClearAllZeroesBaseAndOffsetOverTheFullCapacity) {
    for (int i = 0; i < kGridCapacity; ++i) {
        for (int j = 0; j < kGridCapacity; ++j) {
            controlGrid.base[i][j] = {1.0 + i, 2.0 + j, 3.0};
            controlGrid.offset[i][j] = {-4.0, 5.0 * i, 6.0 * j + 1};
        }
    }
    ControlGrid untouched = controlGrid;
    clearAll();
    for (int i = 0; i < kGridCapacity; ++i) {
        for (int j = 0; j < kGridCapacity; ++j) {
            for (const Vec3d& p : {controlGrid.base[i][j], controlGrid.offset[i][j]}) {
                EXPECT_EQ(p.x, 0.0); EXPECT_EQ(p.y, 0.0); EXPECT_EQ(p.z, 0.0);
            }
        }
    }
    // Counts, selection and labels are not part of it.
    std::memcpy(untouched.base, controlGrid.base, sizeof untouched.base);
    std::memcpy(untouched.offset, controlGrid.offset, sizeof untouched.offset);
    EXPECT_EQ(0, std::memcmp(&untouched, &controlGrid, sizeof controlGrid));
}

TEST_F(Editor, DisplaceSelectedMovesAlongEveryEnabledAxis) {
    struct Case { bool x, y, z; int delta; Vec3d want; };
    const Case cases[] = {
        {false, false, false, 5, {0, 0, 0}},   {true, false, false, 5, {5, 0, 0}},
        {false, true, false, -5, {0, -5, 0}},  {false, false, true, 5, {0, 0, 5}},
        {true, false, true, 5, {5, 0, 5}},     {true, true, true, -5, {-5, -5, -5}},
        {false, true, true, 5, {0, 5, 5}},
    };
    for (const Case& c : cases) {
        restoreStart();
        controlGrid.selectedRow = 2;
        controlGrid.selectedCol = 1;
        editorState.xMove = c.x; editorState.yMove = c.y; editorState.zMove = c.z;
        displaceSelected(c.delta);
        const Vec3d& o = controlGrid.offset[2][1];
        EXPECT_EQ(o.x, c.want.x); EXPECT_EQ(o.y, c.want.y); EXPECT_EQ(o.z, c.want.z);
        // No other point moves.
        double others = 0;
        for (int i = 0; i < kGridCapacity; ++i)
            for (int j = 0; j < kGridCapacity; ++j)
                if (i != 2 || j != 1) others += std::abs(controlGrid.offset[i][j].x) +
                    std::abs(controlGrid.offset[i][j].y) + std::abs(controlGrid.offset[i][j].z);
        EXPECT_EQ(others, 0.0);
    }
}

TEST_F(Editor, DisplaceSelectedDoesNothingWithoutASelection) {
    editorState.xMove = editorState.yMove = editorState.zMove = true;
    const int selections[][2] = {{-1, -1}, {-1, 2}, {2, -1}};
    for (const auto& sel : selections) {
        controlGrid.selectedRow = sel[0];
        controlGrid.selectedCol = sel[1];
        const ControlGrid before = controlGrid;
        displaceSelected(5);
        EXPECT_EQ(0, std::memcmp(&before, &controlGrid, sizeof controlGrid));
    }
}

TEST_F(Editor, DisplaceSelectedReachesAPointOutsideTheActiveGrid) {
    controlGrid.rows = controlGrid.cols = 2;
    controlGrid.selectedRow = controlGrid.selectedCol = 3;
    editorState.zMove = true;
    displaceSelected(5);
    displaceSelected(5);
    EXPECT_EQ(controlGrid.offset[3][3].z, 10.0);
}
