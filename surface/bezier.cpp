// Bezier patch evaluation. The arithmetic order here fixes the float bits of every sample.
#include <cmath>
#include <type_traits>

#include "surface/surface.h"

// A Bernstein weight depends on its arguments alone (pow never sets errno in this build), so it
// is declared const: the compiler may evaluate identical calls once. It is also kept out of line
// and opaque to interprocedural optimisation, so pow is always the library pow called with the
// exponent as a run-time value. Seen with a constant exponent, the compiler would rewrite
// pow(t, 2.0) as t * t, which need not round like pow. Clang has no noipa; noinline keeps the
// exponent out of its sight just the same.
#if defined(__clang__)
__attribute__((const, noinline)) double bernstein(int n, int i, double t);
#else
__attribute__((const, noipa)) double bernstein(int n, int i, double t);
#endif

namespace {
// n! as a double, by repeated multiplication; 1 for n <= 0.
double factorial(int n) {
    double f = 1.0;
    for (int k = 1; k <= n; ++k) f *= k;
    return f;
}

// Adds one weighted coordinate to a single-precision accumulator, rounding after the term.
inline float accumulate(float acc, int rowDegree, int i, double u, int colDegree, int j, double v,
                        double p) {
    const double a = bernstein(rowDegree, i, u) * p;
    const double b = bernstein(colDegree, j, v) * a;
    return static_cast<float>(static_cast<double>(acc) + b);
}

template <int N>
using Fixed = std::integral_constant<int, N>;

// The sum over the active points, rows outer and columns inner, x then y then z. Rows and Cols
// are either int or a Fixed size; with fixed sizes the loops unroll into straight-line code in
// which the repeated weight calls have identical arguments. The terms and their order are the
// same for every instantiation.
template <typename Rows, typename Cols>
SurfaceSample sumPatch(Rows rows, Cols cols, double u, double v) {
    SurfaceSample s{0.0f, 0.0f, 0.0f};
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            const Vec3d& b = controlGrid.base[i][j];
            const Vec3d& o = controlGrid.offset[i][j];
            s.x = accumulate(s.x, rows - 1, i, u, cols - 1, j, v, b.x + o.x);
            s.y = accumulate(s.y, rows - 1, i, u, cols - 1, j, v, b.y + o.y);
            s.z = accumulate(s.z, rows - 1, i, u, cols - 1, j, v, b.z + o.z);
        }
    }
    return s;
}

template <int R>
SurfaceSample sumRowsOf(int cols, double u, double v) {
    switch (cols) {
    case 1: return sumPatch(Fixed<R>{}, Fixed<1>{}, u, v);
    case 2: return sumPatch(Fixed<R>{}, Fixed<2>{}, u, v);
    case 3: return sumPatch(Fixed<R>{}, Fixed<3>{}, u, v);
    case 4: return sumPatch(Fixed<R>{}, Fixed<4>{}, u, v);
    default: return sumPatch(Fixed<R>{}, cols, u, v);
    }
}
}  // namespace

double bernstein(int n, int i, double t) {
    const double nF = factorial(n);
    const double iF = factorial(i);
    const double rF = factorial(n - i);
    const double c = nF / (iF * rF);
    return std::pow(1.0 - t, static_cast<double>(n - i)) * (std::pow(t, static_cast<double>(i)) * c);
}

SurfaceSample evaluateSurfacePoint(double u, double v) {
    const int rows = controlGrid.rows;
    const int cols = controlGrid.cols;
    switch (rows) {
    case 1: return sumRowsOf<1>(cols, u, v);
    case 2: return sumRowsOf<2>(cols, u, v);
    case 3: return sumRowsOf<3>(cols, u, v);
    case 4: return sumRowsOf<4>(cols, u, v);
    default: return sumPatch(rows, cols, u, v);
    }
}
