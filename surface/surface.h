// Surface model: the control-point grid and the tensor-product Bezier patch over it.
// Pure math, no GL: it links into tests and benchmarks without a window.
#pragma once

struct Vec3d {
    double x, y, z;
};

// One evaluated point of the patch, accumulated in single precision.
struct SurfaceSample {
    float x, y, z;
};

constexpr int kGridCapacity = 10;  // rows and columns the arrays can hold; the menus use 1..4
constexpr int kLabelCount = 16;    // one letter per point of the largest (4 x 4) grid

struct ControlGrid {
    Vec3d base[kGridCapacity][kGridCapacity];    // rest positions, rebuilt every frame
    Vec3d offset[kGridCapacity][kGridCapacity];  // the user's accumulated edits
    int rows;         // active rows, 1..4, along world y
    int cols;         // active columns, 1..4, along world x
    int selectedRow;  // 0..3, or -1 for none
    int selectedCol;  // 0..3, or -1 for none
    char labels[kLabelCount][5];  // label of point (i, j) is labels[i * 4 + j]
};

// The one control grid of the program.
extern ControlGrid controlGrid;

// Lays the active points out on the regular grid in the plane z = 0; inactive entries stay as they are.
void buildBaseGrid();
// Zeroes every base and offset entry of the full capacity.
void clearAll();
// Adds delta to the selected point's offset along every axis whose movement flag is on.
void displaceSelected(int delta);
// The effective control point: base plus offset.
Vec3d controlPoint(int row, int col);

// Bernstein basis polynomial C(n, i) t^i (1 - t)^(n - i).
double bernstein(int n, int i, double t);
// The patch point at parameters (u, v) over the active control points.
SurfaceSample evaluateSurfacePoint(double u, double v);

constexpr double kSampleStep = 0.02;  // parameter step of the sampling grid, 50 values per side

// Walks the sampling grid, v outer and u inner, both from 0 while below 1, and hands each
// evaluated sample to emit. The parameters accumulate by addition, so 1.0 is never reached.
template <typename Emit>
void sweepSurface(Emit&& emit) {
    for (double v = 0.0; v < 1.0; v += kSampleStep) {
        for (double u = 0.0; u < 1.0; u += kSampleStep) {
            emit(evaluateSurfacePoint(u, v));
        }
    }
}
