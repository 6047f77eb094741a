// The right-button menu tree. Labels are single-byte Windows-1252 text, as GLUT draws them.
#include <GL/glut.h>

#include <cstdlib>
#include <iterator>

#include "app/editor_state.h"
#include "input/input.h"
#include "surface/surface.h"

namespace {
struct MenuEntry {
    const char* label;
    int value;
};

constexpr int kMenuReset = 3;
constexpr int kMenuQuit = 4;

constexpr const char* kSpacer = " \t\t\t\t\t\t\t\t\t\t";  // a blank line in the help pages

constexpr MenuEntry kRowsEntries[] = {
    {"1", kRowsMenuFirst}, {"2", kRowsMenuFirst + 1}, {"3", kRowsMenuFirst + 2}, {"4", kRowsMenuFirst + 3}};
constexpr MenuEntry kColsEntries[] = {
    {"1", kColsMenuFirst}, {"2", kColsMenuFirst + 1}, {"3", kColsMenuFirst + 2}, {"4", kColsMenuFirst + 3}};

constexpr MenuEntry kAxisEntries[] = {
    {"Eixo dos ZZ", kAxisMenuFirst},     {"Eixo dos YY", kAxisMenuFirst + 1},
    {"Eixo dos XX", kAxisMenuFirst + 2}, {"Eixo dos XZ", kAxisMenuFirst + 3},
    {"Eixo dos YZ", kAxisMenuFirst + 4}, {"Eixo dos XY", kAxisMenuFirst + 5},
};
constexpr RotationAxis kAxisChoices[] = {AXIS_ZZ, AXIS_YY, AXIS_XX, AXIS_XZ, AXIS_YZ, AXIS_XY};
static_assert(std::size(kAxisEntries) == kAxisMenuCount && std::size(kAxisChoices) == kAxisMenuCount);

constexpr MenuEntry kInstructionEntries[] = {
    {" Teclas de auxilio - ( meramente informativo) ", 400},
    {" - Superficie -", 406},
    {" * Para mover um ponto,pode usar o menu", 413},
    {" ou usar a tecla correspondente \xe0 letra.", 413},
    {kSpacer, 406},
    {" z : mover cota z [on / off( omiss\xe3o) ]", 411},
    {" y : mover ordenada y [on / off ( omiss\xe3o)]", 412},
    {" x : mover abcissa x [on / off ( omiss\xe3o)]", 413},
    {kSpacer, 406},
    {" + : incrementar [ pontos / rota\xe7\xe3o / transla\xe7\xe3o ]", 409},
    {" - : decrementar [ pontos / rota\xe7\xe3o / transla\xe7\xe3o ]", 410},
    {kSpacer, 406},
    {" r : efectuar rota\xe7\xe3o [on / off ( omiss\xe3o) ]", 407},
    {" t : efectuar transla\xe7\xe3o  [on / off ( omiss\xe3o) ]", 408},
    {kSpacer, 406},
    {kSpacer, 406},
    {" - CAMARA -", 401},
    {" KEY_UP -  move camara para cima", 402},
    {" KEY_DOWN - move camara para baixo", 403},
    {" KEY_RIGHT - move camara para a direita", 404},
    {" KEY_LEFT - move camara para esquerda", 405},
};

constexpr MenuEntry kHelpEntries[] = {
    {" Como usar: ", 501},
    {" 1\xba Para mover os pontos de controlo :", 502},
    {" Comece por escolher a letra do pontos de controlo.", 503},
    {" Escolha o ponto que pretende mover: ( menu ou teclado )", 504},
    {" Active o movimento z, y, ou x e incremente/decremente com +/-", 505},
    {" 2\xba Para efectuar transforma\xe7\xf5" "es \xe0 superficie :", 502},
    {" Active a rota\xe7\xe3o ou transla\xe7\xe3o e incremente/decremente com +/-", 502},
    {"", 506},
};

template <size_t N>
int createMenu(void (*handler)(int), const MenuEntry (&entries)[N]) {
    const int menu = glutCreateMenu(handler);
    for (const MenuEntry& e : entries) glutAddMenuEntry(e.label, e.value);
    return menu;
}

int createPointMenu() {
    const int menu = glutCreateMenu(onPointMenu);
    for (int k = 0; k < kLabelCount; ++k) {
        glutAddMenuEntry(controlGrid.labels[k], kPointMenuFirst + k);
    }
    return menu;
}
}  // namespace

void buildMenus() {
    const int rows = createMenu(onRowsMenu, kRowsEntries);
    const int cols = createMenu(onColsMenu, kColsEntries);
    const int point = createPointMenu();
    const int axis = createMenu(onAxisMenu, kAxisEntries);
    const int instructions = createMenu(onInfoMenu, kInstructionEntries);
    const int help = createMenu(onInfoMenu, kHelpEntries);

    glutCreateMenu(onMainMenu);
    glutAddSubMenu("Dimens\xe3o horizontal", rows);
    glutAddSubMenu("Dimens\xe3o vertical", cols);
    glutAddSubMenu("Mover o ponto", point);
    glutAddSubMenu("Escolher eixo de rota\xe7\xe3o", axis);
    glutAddSubMenu("Instru\xe7\xf5" "es", instructions);
    glutAddSubMenu("Ajuda", help);
    glutAddMenuEntry("Reset", kMenuReset);
    glutAddMenuEntry("Sair", kMenuQuit);
    glutAttachMenu(GLUT_RIGHT_BUTTON);
}

void onRowsMenu(int value) {
    if (value >= kRowsMenuFirst && value < kRowsMenuFirst + 4) {
        controlGrid.rows = value - (kRowsMenuFirst - 1);
        editorState.resetPending = false;
    }
    glutPostRedisplay();
}

void onColsMenu(int value) {
    if (value >= kColsMenuFirst && value < kColsMenuFirst + 4) {
        controlGrid.cols = value - (kColsMenuFirst - 1);
        editorState.resetPending = false;
    }
    glutPostRedisplay();
}

void onPointMenu(int value) {
    if (value >= kPointMenuFirst && value < kPointMenuFirst + kLabelCount) {
        controlGrid.selectedRow = (value - kPointMenuFirst) / 4;
        controlGrid.selectedCol = (value - kPointMenuFirst) % 4;
    }
    glutPostRedisplay();
}

void onAxisMenu(int value) {
    if (value >= kAxisMenuFirst && value < kAxisMenuFirst + kAxisMenuCount) {
        editorState.rotationAxis = kAxisChoices[value - kAxisMenuFirst];
        editorState.zMove = editorState.yMove = editorState.xMove = false;
        controlGrid.selectedRow = -1;
        controlGrid.selectedCol = -1;
    }
    glutPostRedisplay();
}

void onInfoMenu(int /*value*/) {
    glutPostRedisplay();
}

void onMainMenu(int value) {
    switch (value) {
    case kMenuReset: editorState.resetPending = true; break;
    case kMenuQuit: std::exit(0);
    default: break;
    }
    glutPostRedisplay();
}
