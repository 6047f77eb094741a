// Interaction: keyboard commands, camera keys and the right-button menu tree.
//
// Keys (case-sensitive; every key, listed or not, ends with a redraw request):
//   q w e u / i o p a / s d f g / h j k l  select control point (row, col) = (0,0) .. (3,3), row by
//                                          row, and end both transform modes
//   x, y, z   toggle moving the selected point along that axis, and end both transform modes
//   r         toggle rotation mode (clears the movement flags)
//   t         toggle translation mode (clears the movement flags)
//   + / -     with no mode on: move the selected point 5 units along every axis whose flag is on;
//             rotation mode: turn the patch 30 degrees; translation mode: move it 50 along its z
//   After any key, while a mode is on, no point is selected and the movement flags are off.
// Special keys:
//   Left / Right   slide the camera 20 units, sideways to the horizontal viewing direction
//   Up / Down      raise / lower the camera 20 units along world z
// Right-button menu:
//   "Dimensao horizontal" 1..4      active rows (cancels a pending reset)
//   "Dimensao vertical"   1..4      active columns (cancels a pending reset)
//   "Mover o ponto"       q .. l    select a point; modes and movement flags stay as they are
//   "Escolher eixo de rotacao"      ZZ, YY, XX, XZ, YZ, XY: rotation axis; deselects and clears
//                                   the movement flags, keeps angle and translation
//   "Instrucoes", "Ajuda"           pages of help text; picking a line does nothing
//   "Reset"                         next frame: edits cleared, view, modes and camera restored
//   "Sair"                          ends the program with status 0
#pragma once

// Menu values: each submenu has its own range, so a handler (and whatever reports a pick) can tell
// its entries apart.
constexpr int kRowsMenuFirst = 100;   // "Dimensao horizontal": 1..4 rows, 100..103
constexpr int kColsMenuFirst = 105;   // "Dimensao vertical": 1..4 columns, 105..108
constexpr int kPointMenuFirst = 201;  // "Mover o ponto": 201 + 4 * row + col
constexpr int kAxisMenuFirst = 301;   // "Escolher eixo de rotacao": 301..306, in menu order
constexpr int kAxisMenuCount = 6;

void onKeyboard(unsigned char key, int x, int y);
void onSpecialKey(int key, int x, int y);

// Builds the menu tree and attaches its main menu to the right mouse button.
void buildMenus();
void onRowsMenu(int value);
void onColsMenu(int value);
void onPointMenu(int value);
void onAxisMenu(int value);
void onInfoMenu(int value);
void onMainMenu(int value);
