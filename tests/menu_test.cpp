// The menu tree: its shape, every label byte for byte, and what each handler does with every value.
#include <GL/glut.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "fixture.h"
#include "input/input.h"

namespace {
// The expected labels are written as Unicode text and turned into the single-byte form GLUT
// draws, so a wrong escape byte in the program cannot hide behind the same wrong byte here.
std::string latin1(const char* utf8) {
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8); *p; ++p) {
        if (*p < 0x80) { out += char(*p); continue; }
        const int cp = ((p[0] & 0x1f) << 6) | (p[1] & 0x3f);  // two-byte forms only: U+0080..U+07FF
        out += char(cp);
        ++p;
    }
    return out;
}

struct Entry {
    const char* utf8;
    int value;
};

std::vector<RecordedMenuItem> items(std::initializer_list<Entry> entries) {
    std::vector<RecordedMenuItem> out;
    for (const Entry& e : entries) out.push_back({latin1(e.utf8), e.value, false});
    return out;
}

const char* const kSpacer = " \t\t\t\t\t\t\t\t\t\t";

class Menus : public Editor {
protected:
    void SetUp() override {
        Editor::SetUp();
        buildMenus();
        ASSERT_EQ(glRecord.menus.size(), 7u);
    }
    const RecordedMenu& menu(int id) { return glRecord.menus.at(id - 1); }
};
}  // namespace

TEST_F(Menus, TreeHasSixSubmenusThenTheMainMenuOnTheRightButton) {
    const RecordedMenu& main = menu(7);
    EXPECT_EQ(main.handler, &onMainMenu);
    const std::vector<RecordedMenuItem> want = {
        {latin1(u8"Dimens\u00e3o horizontal"), 1, true}, {latin1(u8"Dimens\u00e3o vertical"), 2, true},
        {"Mover o ponto", 3, true}, {latin1(u8"Escolher eixo de rota\u00e7\u00e3o"), 4, true},
        {latin1(u8"Instru\u00e7\u00f5es"), 5, true}, {"Ajuda", 6, true},
        {"Reset", 3, false}, {"Sair", 4, false}};
    EXPECT_EQ(main.items, want);
    EXPECT_EQ(glRecord.attachedButton, GLUT_RIGHT_BUTTON);
    EXPECT_EQ(glRecord.attachedMenu, 7);
    void (*handlers[])(int) = {onRowsMenu, onColsMenu, onPointMenu, onAxisMenu, onInfoMenu, onInfoMenu};
    for (int id = 1; id <= 6; ++id) EXPECT_EQ(menu(id).handler, handlers[id - 1]) << id;
    // Each submenu's entries are added right after it is created.
    const auto names = callNames();
    EXPECT_EQ(names.front(), "glutCreateMenu");
    EXPECT_EQ(names.back(), "glutAttachMenu");
}

TEST_F(Menus, DimensionPointAndAxisEntries) {
    EXPECT_EQ(menu(1).items, items({{"1", 100}, {"2", 101}, {"3", 102}, {"4", 103}}));
    EXPECT_EQ(menu(2).items, items({{"1", 105}, {"2", 106}, {"3", 107}, {"4", 108}}));
    EXPECT_EQ(menu(3).items, items({{"q", 201}, {"w", 202}, {"e", 203}, {"u", 204},
                                    {"i", 205}, {"o", 206}, {"p", 207}, {"a", 208},
                                    {"s", 209}, {"d", 210}, {"f", 211}, {"g", 212},
                                    {"h", 213}, {"j", 214}, {"k", 215}, {"l", 216}}));
    EXPECT_EQ(menu(4).items, items({{"Eixo dos ZZ", 301}, {"Eixo dos YY", 302}, {"Eixo dos XX", 303},
                                    {"Eixo dos XZ", 304}, {"Eixo dos YZ", 305}, {"Eixo dos XY", 306}}));
}

TEST_F(Menus, InstructionAndHelpPagesByteForByte) {
    EXPECT_EQ(menu(5).items, items({
        {u8" Teclas de auxilio - ( meramente informativo) ", 400},
        {u8" - Superficie -", 406},
        {u8" * Para mover um ponto,pode usar o menu", 413},
        {u8" ou usar a tecla correspondente \u00e0 letra.", 413},
        {kSpacer, 406},
        {u8" z : mover cota z [on / off( omiss\u00e3o) ]", 411},
        {u8" y : mover ordenada y [on / off ( omiss\u00e3o)]", 412},
        {u8" x : mover abcissa x [on / off ( omiss\u00e3o)]", 413},
        {kSpacer, 406},
        {u8" + : incrementar [ pontos / rota\u00e7\u00e3o / transla\u00e7\u00e3o ]", 409},
        {u8" - : decrementar [ pontos / rota\u00e7\u00e3o / transla\u00e7\u00e3o ]", 410},
        {kSpacer, 406},
        {u8" r : efectuar rota\u00e7\u00e3o [on / off ( omiss\u00e3o) ]", 407},
        {u8" t : efectuar transla\u00e7\u00e3o  [on / off ( omiss\u00e3o) ]", 408},
        {kSpacer, 406},
        {kSpacer, 406},
        {u8" - CAMARA -", 401},
        {u8" KEY_UP -  move camara para cima", 402},
        {u8" KEY_DOWN - move camara para baixo", 403},
        {u8" KEY_RIGHT - move camara para a direita", 404},
        {u8" KEY_LEFT - move camara para esquerda", 405},
    }));
    EXPECT_EQ(menu(6).items, items({
        {u8" Como usar: ", 501},
        {u8" 1\u00ba Para mover os pontos de controlo :", 502},
        {u8" Comece por escolher a letra do pontos de controlo.", 503},
        {u8" Escolha o ponto que pretende mover: ( menu ou teclado )", 504},
        {u8" Active o movimento z, y, ou x e incremente/decremente com +/-", 505},
        {u8" 2\u00ba Para efectuar transforma\u00e7\u00f5es \u00e0 superficie :", 502},
        {u8" Active a rota\u00e7\u00e3o ou transla\u00e7\u00e3o e incremente/decremente com +/-", 502},
        {u8"", 506},
    }));
}

TEST_F(Editor, DimensionMenusSetCountsCancelResetAndMoveNoPoint) {
    struct Case { void (*handler)(int); int value; int rows, cols; bool cancels; };
    const Case cases[] = {
        {onRowsMenu, 100, 1, 4, true}, {onRowsMenu, 101, 2, 4, true}, {onRowsMenu, 102, 3, 4, true},
        {onRowsMenu, 103, 4, 4, true}, {onColsMenu, 105, 4, 1, true}, {onColsMenu, 106, 4, 2, true},
        {onColsMenu, 107, 4, 3, true}, {onColsMenu, 108, 4, 4, true},
        {onRowsMenu, 99, 4, 4, false}, {onRowsMenu, 104, 4, 4, false}, {onRowsMenu, 105, 4, 4, false},
        {onColsMenu, 104, 4, 4, false}, {onColsMenu, 109, 4, 4, false}, {onColsMenu, 103, 4, 4, false},
        {onRowsMenu, INT_MIN, 4, 4, false}, {onColsMenu, INT_MAX, 4, 4, false},
    };
    for (const Case& c : cases) {
        restoreStart();
        startAndSettle();
        controlGrid.offset[1][1] = {0, 0, 15};
        editorState.resetPending = true;
        const ControlGrid before = controlGrid;
        c.handler(c.value);
        EXPECT_EQ(controlGrid.rows, c.rows) << c.value;
        EXPECT_EQ(controlGrid.cols, c.cols) << c.value;
        EXPECT_EQ(editorState.resetPending, !c.cancels) << c.value;
        EXPECT_EQ(0, std::memcmp(before.offset, controlGrid.offset, sizeof before.offset)) << c.value;
        EXPECT_EQ(0, std::memcmp(before.base, controlGrid.base, sizeof before.base)) << c.value;
        EXPECT_EQ(callNames(), std::vector<std::string>{"glutPostRedisplay"}) << c.value;
    }
}

TEST_F(Editor, ShrinkingHidesPointsAndGrowingBackShowsTheirEdits) {
    startAndSettle();
    pressKeys("lz+++x++");  // (3, 3): z five steps, x two, to (410, 400, 25)
    onRowsMenu(101);
    onColsMenu(107);
    std::vector<GlCall> frame = frameCalls();
    EXPECT_EQ(pointsInColour(frame, 1, 0, 0).size(), 6u);
    EXPECT_EQ(controlGrid.offset[3][3].z, 25.0);
    onRowsMenu(103);
    onColsMenu(108);
    frame = frameCalls();
    const auto red = pointsInColour(frame, 1, 0, 0);
    ASSERT_EQ(red.size(), 16u);
    EXPECT_TRUE(sameFloats(red[15], 410.0f, 400.0f, 25.0f));
}

TEST_F(Editor, PointMenuSelectsAndKeepsModesAndFlags) {
    for (int value = 195; value <= 222; ++value) {
        restoreStart();
        editorState.rotationMode = editorState.translationMode = true;
        editorState.yMove = true;
        controlGrid.selectedRow = controlGrid.selectedCol = -1;
        onPointMenu(value);
        const bool listed = value >= 201 && value <= 216;
        EXPECT_EQ(controlGrid.selectedRow, listed ? (value - 201) / 4 : -1) << value;
        EXPECT_EQ(controlGrid.selectedCol, listed ? (value - 201) % 4 : -1) << value;
        EXPECT_TRUE(editorState.rotationMode && editorState.translationMode && editorState.yMove);
        EXPECT_EQ(callNames(), std::vector<std::string>{"glutPostRedisplay"}) << value;
    }
}

TEST_F(Editor, AxisMenuSetsTheAxisDeselectsAndClearsFlagsOnly) {
    const RotationAxis axes[] = {AXIS_ZZ, AXIS_YY, AXIS_XX, AXIS_XZ, AXIS_YZ, AXIS_XY};
    for (int value = 299; value <= 308; ++value) {
        restoreStart();
        editorState.rotationAxis = AXIS_XX;
        editorState.rotationMode = true;
        editorState.rotationAngle = 90.0f;
        editorState.translation.tz = -50.0f;
        editorState.xMove = editorState.yMove = editorState.zMove = true;
        onAxisMenu(value);
        const bool listed = value >= 301 && value <= 306;
        EXPECT_EQ(editorState.rotationAxis, listed ? axes[value - 301] : AXIS_XX) << value;
        EXPECT_EQ(editorState.xMove || editorState.yMove || editorState.zMove, !listed) << value;
        EXPECT_EQ(controlGrid.selectedRow, listed ? -1 : 0) << value;
        EXPECT_EQ(controlGrid.selectedCol, listed ? -1 : 0) << value;
        EXPECT_TRUE(editorState.rotationMode);
        EXPECT_EQ(editorState.rotationAngle, 90.0f);
        EXPECT_EQ(editorState.translation.tz, -50.0f);
        EXPECT_EQ(callNames(), std::vector<std::string>{"glutPostRedisplay"}) << value;
    }
    // With nothing selected and no flag, "+" does nothing until a point and a flag are chosen again.
    startAndSettle();
    onAxisMenu(301);
    pressKeys("+-+");
    EXPECT_EQ(controlGrid.offset[0][0].z, 0.0);
}

TEST_F(Editor, InfoAndUnlistedMainValuesOnlyRedraw) {
    const std::pair<void (*)(int), int> cases[] = {
        {onInfoMenu, 400}, {onInfoMenu, 406}, {onInfoMenu, 506}, {onInfoMenu, -1}, {onInfoMenu, 3},
        {onMainMenu, 0}, {onMainMenu, 1}, {onMainMenu, 2}, {onMainMenu, 5}, {onMainMenu, INT_MIN}};
    startAndSettle();
    const EditorState state = editorState;
    const ControlGrid grid = controlGrid;
    for (const auto& c : cases) {
        resetRecord();
        c.first(c.second);
        EXPECT_EQ(callNames(), std::vector<std::string>{"glutPostRedisplay"}) << c.second;
        EXPECT_EQ(0, std::memcmp(&state, &editorState, sizeof state)) << c.second;
        EXPECT_EQ(0, std::memcmp(&grid, &controlGrid, sizeof grid)) << c.second;
    }
}

TEST_F(Editor, ResetTakesEffectAtTheNextFrameAndKeepsAxisCountsAndSelection) {
    startAndSettle();
    pressKeys("dz+++x+");
    onAxisMenu(305);           // YZ, and deselects
    pressKeys("rt++");
    onSpecialKey(GLUT_KEY_UP, 0, 0);
    onRowsMenu(102);
    onPointMenu(216);
    onMainMenu(3);
    EXPECT_TRUE(editorState.resetPending);
    EXPECT_EQ(controlGrid.offset[2][1].z, 20.0);  // nothing reset yet
    const std::vector<GlCall> frame = frameCalls();
    EXPECT_EQ(frame[2].args[2], 370.0);  // that frame still looks from the raised camera
    EXPECT_FALSE(editorState.resetPending);
    EXPECT_EQ(editorState.rotationAxis, AXIS_YZ);
    EXPECT_EQ(controlGrid.rows, 3);
    EXPECT_EQ(controlGrid.cols, 4);
    EXPECT_EQ(controlGrid.selectedRow, 3);
    EXPECT_EQ(controlGrid.selectedCol, 3);
    const EditorState& s = editorState;
    EXPECT_FALSE(s.rotationMode || s.translationMode || s.xMove || s.yMove || s.zMove);
    EXPECT_EQ(s.rotationAngle, 0.0f);
    EXPECT_EQ(s.translation.tz, 0.0f);
    EXPECT_EQ(s.eye.z, 350.0);
    for (const auto& row : controlGrid.offset)
        for (const Vec3d& o : row) EXPECT_TRUE(o.x == 0 && o.y == 0 && o.z == 0);
    const auto rotations = callsNamed("glRotatef");
    ASSERT_EQ(rotations.size(), 1u);
    EXPECT_EQ(rotations[0].args[0], 0.0);  // the resetting frame already draws the patch unturned
}

TEST_F(Editor, QuitEndsWithStatusZeroBeforeAnyFurtherCall) {
    auto quit = [] {
        resetRecord();
        std::atexit([] { std::fprintf(stderr, "calls after quit: %zu\n", glRecord.calls.size()); });
        onMainMenu(4);
    };
    EXPECT_EXIT(quit(), ::testing::ExitedWithCode(0), "calls after quit: 0");
}
