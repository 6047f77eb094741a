// The control grid: base positions, the user's offsets, the selection and the point letters.
#include "app/editor_state.h"
#include "surface/surface.h"

namespace {
constexpr double kSpacing = 100.0;  // distance between neighbouring base points, and the grid's origin
}

ControlGrid controlGrid = {
    {}, {}, 4, 4, 0, 0,
    {"q", "w", "e", "u",
     "i", "o", "p", "a",
     "s", "d", "f", "g",
     "h", "j", "k", "l"},
};

void buildBaseGrid() {
    for (int i = 0; i < controlGrid.rows; ++i) {
        for (int j = 0; j < controlGrid.cols; ++j) {
            controlGrid.base[i][j] = {kSpacing * j + kSpacing, kSpacing * i + kSpacing, 0.0};
        }
    }
}

void clearAll() {
    for (int i = 0; i < kGridCapacity; ++i) {
        for (int j = 0; j < kGridCapacity; ++j) {
            controlGrid.base[i][j] = {0.0, 0.0, 0.0};
            controlGrid.offset[i][j] = {0.0, 0.0, 0.0};
        }
    }
}

void displaceSelected(int delta) {
    const int row = controlGrid.selectedRow;
    const int col = controlGrid.selectedCol;
    if (row == -1 || col == -1) return;
    Vec3d& o = controlGrid.offset[row][col];
    const double d = delta;
    if (editorState.xMove) o.x += d;
    if (editorState.yMove) o.y += d;
    if (editorState.zMove) o.z += d;
}

Vec3d controlPoint(int row, int col) {
    const Vec3d& b = controlGrid.base[row][col];
    const Vec3d& o = controlGrid.offset[row][col];
    return {b.x + o.x, b.y + o.y, b.z + o.z};
}
