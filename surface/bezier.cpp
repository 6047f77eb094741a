// Bezier patch evaluation. The arithmetic order here fixes the float bits of every sample.
#include <cmath>

#include "surface/surface.h"

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
