// Bezier evaluation and the sampling grid, checked against independent computations.
#include <cmath>
#include <cstring>

#include "fixture.h"

namespace {
// C(n, i) t^i (1 - t)^(n - i) in long double, by plain products, with 0^0 = 1.
long double referenceBernstein(int n, int i, long double t) {
    long double c = 1;
    for (int k = 1; k <= i; ++k) c = c * (n - i + k) / k;
    long double r = c;
    for (int k = 0; k < i; ++k) r *= t;
    for (int k = 0; k < n - i; ++k) r *= 1 - t;
    return r;
}

// The patch point by de Casteljau in long double: rows (u) first, then the resulting column curve (v).
void deCasteljau(double u, double v, long double out[3]) {
    const int rows = controlGrid.rows, cols = controlGrid.cols;
    long double col[4][3];
    for (int j = 0; j < cols; ++j) {
        long double pts[4][3];
        for (int i = 0; i < rows; ++i) {
            const Vec3d p = controlPoint(i, j);
            pts[i][0] = p.x; pts[i][1] = p.y; pts[i][2] = p.z;
        }
        for (int level = rows - 1; level > 0; --level)
            for (int i = 0; i < level; ++i)
                for (int c = 0; c < 3; ++c) pts[i][c] = (1 - u) * pts[i][c] + u * pts[i + 1][c];
        for (int c = 0; c < 3; ++c) col[j][c] = pts[0][c];
    }
    for (int level = cols - 1; level > 0; --level)
        for (int j = 0; j < level; ++j)
            for (int c = 0; c < 3; ++c) col[j][c] = (1 - v) * col[j][c] + v * col[j + 1][c];
    for (int c = 0; c < 3; ++c) out[c] = col[0][c];
}

// A second transcription of the evaluation as the program defines it, written apart from the
// program's own: the float bits it gives are the ones every build must draw.
double transcribedWeight(int n, int i, double t) {
    double nF = 1.0, iF = 1.0, rF = 1.0;
    for (int k = 1; k <= n; ++k) nF *= k;
    for (int k = 1; k <= i; ++k) iF *= k;
    for (int k = 1; k <= n - i; ++k) rF *= k;
    const double c = nF / (iF * rF);
    const double ti = std::pow(t, double(i));
    return std::pow(1.0 - t, double(n - i)) * (ti * c);
}

SurfaceSample transcribedSample(double u, double v) {
    float acc[3] = {0.0f, 0.0f, 0.0f};
    const int rows = controlGrid.rows, cols = controlGrid.cols;
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            const double p[3] = {controlGrid.base[i][j].x + controlGrid.offset[i][j].x,
                                 controlGrid.base[i][j].y + controlGrid.offset[i][j].y,
                                 controlGrid.base[i][j].z + controlGrid.offset[i][j].z};
            for (int c = 0; c < 3; ++c) {
                const double a = transcribedWeight(rows - 1, i, u) * p[c];
                const double b = transcribedWeight(cols - 1, j, v) * a;
                acc[c] = float(double(acc[c]) + b);
            }
        }
    }
    return {acc[0], acc[1], acc[2]};
}

struct Swept {
    double u, v;
    SurfaceSample s;
};

// All samples of one sweep with the parameters they were taken at.
std::vector<Swept> sweepAll() {
    std::vector<Swept> out;
    double v = 0.0, u = 0.0;
    sweepSurface([&](const SurfaceSample& s) {
        out.push_back({u, v, s});
        u += kSampleStep;
        if (out.size() % 50 == 0) { u = 0.0; v += kSampleStep; }
    });
    return out;
}

// The grids the sample checks run over: every size, plain and with several points displaced.
struct GridCase {
    int rows, cols;
    bool displaced;
};
std::vector<GridCase> gridCases() {
    std::vector<GridCase> cases;
    for (int r = 1; r <= 4; ++r)
        for (int c = 1; c <= 4; ++c)
            for (bool d : {false, true}) cases.push_back({r, c, d});
    return cases;
}

void setUpGrid(const GridCase& g) {
    restoreStart();
    controlGrid.rows = g.rows;
    controlGrid.cols = g.cols;
    buildBaseGrid();
    if (g.displaced) {
        controlGrid.offset[0][0] = {-35, 10, 5};
        controlGrid.offset[1][1] = {0, 0, 15};
        controlGrid.offset[2][1] = {5, -5, -250};
        controlGrid.offset[3][3] = {1e3, 0, 75};
    }
}

bool sameBits(const SurfaceSample& a, const SurfaceSample& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
}  // namespace

TEST(Bernstein, MatchesTheBinomialFormulaForEveryDegreeUpToThree) {
    const double ts[] = {0.0, 0.02, 0.25, 1.0 / 3.0, 0.5, 0.7, 0.98, 1.0};
    for (int n = 0; n <= 3; ++n) {
        for (int i = 0; i <= n; ++i) {
            for (double t : ts) {
                const long double want = referenceBernstein(n, i, t);
                EXPECT_NEAR(bernstein(n, i, t), double(want), 4e-16) << n << "," << i << " at " << t;
            }
        }
    }
}

TEST(Bernstein, EndpointsAreExactWithZeroToTheZeroAsOne) {
    for (int n = 0; n <= 3; ++n) {
        for (int i = 0; i <= n; ++i) {
            EXPECT_EQ(bernstein(n, i, 0.0), i == 0 ? 1.0 : 0.0) << n << "," << i;
            EXPECT_EQ(bernstein(n, i, 1.0), i == n ? 1.0 : 0.0) << n << "," << i;
        }
    }
}

TEST(Surface, EverySampleHasTheFloatBitsOfTheDefinedArithmetic) {
    for (const GridCase& g : gridCases()) {
        setUpGrid(g);
        int mismatches = 0;
        for (const Swept& s : sweepAll()) {
            const SurfaceSample want = transcribedSample(s.u, s.v);
            if (!sameBits(s.s, want) && ++mismatches <= 3) {
                ADD_FAILURE() << g.rows << "x" << g.cols << (g.displaced ? " displaced" : "")
                              << " at u=" << s.u << " v=" << s.v;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(Surface, SamplesLieOnThePatchWithinSinglePrecisionRounding) {
    for (const GridCase& g : gridCases()) {
        setUpGrid(g);
        // The accumulator is rounded to float after each of at most 3 * 16 terms; every partial
        // sum stays within the largest coordinate (weights are non-negative and sum to 1), so each
        // rounding errs by at most half an ulp of that magnitude. The double terms add ~1e-13.
        double largest = 0;
        for (int i = 0; i < g.rows; ++i)
            for (int j = 0; j < g.cols; ++j) {
                const Vec3d p = controlPoint(i, j);
                largest = std::max({largest, std::abs(p.x), std::abs(p.y), std::abs(p.z)});
            }
        const float big = float(largest);
        const double bound = g.rows * g.cols * 0.5 * (std::nextafter(big, 2 * big + 1) - big) + 1e-9;
        for (const Swept& s : sweepAll()) {
            long double want[3];
            deCasteljau(s.u, s.v, want);
            const float got[3] = {s.s.x, s.s.y, s.s.z};
            for (int c = 0; c < 3; ++c) {
                ASSERT_NEAR(got[c], double(want[c]), bound)
                    << g.rows << "x" << g.cols << " coord " << c << " at u=" << s.u << " v=" << s.v;
            }
        }
    }
}

TEST(Surface, SweepIsFiftyByFiftyVMajorAndNeverReachesTheFarEdges) {
    setUpGrid({2, 2, false});  // S(u, v) = (100 + 100 v, 100 + 100 u, 0)
    const std::vector<Swept> all = sweepAll();
    ASSERT_EQ(all.size(), 2500u);
    for (size_t k = 0; k < all.size(); ++k) {
        EXPECT_NEAR(all[k].s.x, 100 + 2.0 * (k / 50), 1e-3) << k;
        EXPECT_NEAR(all[k].s.y, 100 + 2.0 * (k % 50), 1e-3) << k;
        EXPECT_EQ(all[k].s.z, 0.0f);
        EXPECT_LT(all[k].s.x, 199.0f);  // v = 1 would give 200
        EXPECT_LT(all[k].s.y, 199.0f);  // u = 1 would give 200
    }
}

TEST(Surface, FirstSampleIsTheFirstControlPointExactly) {
    for (const GridCase& g : gridCases()) {
        setUpGrid(g);
        const Vec3d p = controlPoint(0, 0);
        const SurfaceSample s = evaluateSurfacePoint(0.0, 0.0);
        EXPECT_TRUE(sameBits(s, {float(p.x), float(p.y), float(p.z)})) << g.rows << "x" << g.cols;
    }
}

TEST(Surface, OneRowCollapsesEachSweepRowAndOneByOneIsASinglePoint) {
    setUpGrid({1, 4, true});
    const std::vector<Swept> row = sweepAll();
    for (size_t k = 0; k < row.size(); ++k) EXPECT_TRUE(sameBits(row[k].s, row[k - k % 50].s)) << k;
    EXPECT_FALSE(sameBits(row[0].s, row[50].s));  // but the curve does move with v

    setUpGrid({1, 1, true});
    const Vec3d p = controlPoint(0, 0);
    for (const Swept& s : sweepAll()) EXPECT_TRUE(sameBits(s.s, {float(p.x), float(p.y), float(p.z)}));
}

TEST(Surface, UndisplacedGridIsFlatInsideItsSquare) {
    setUpGrid({4, 4, false});
    // Float accumulation may land a hair below the edge at 100; 0.98 of the way gives 394.
    for (const Swept& s : sweepAll()) {
        EXPECT_EQ(s.s.z, 0.0f);
        EXPECT_GT(s.s.x, 99.999f); EXPECT_LT(s.s.x, 394.001f);
        EXPECT_GT(s.s.y, 99.999f); EXPECT_LT(s.s.y, 394.001f);
    }
}

TEST(Surface, RaisedInteriorPointLiftsTheSurfaceMostNearItsParameters) {
    setUpGrid({4, 4, false});
    controlGrid.offset[1][1].z = 15;
    Swept top = sweepAll().front();
    for (const Swept& s : sweepAll()) if (s.s.z > top.s.z) top = s;
    EXPECT_NEAR(top.u, 1.0 / 3.0, 0.015);
    EXPECT_NEAR(top.v, 1.0 / 3.0, 0.015);
    EXPECT_NEAR(top.s.z, 15 * std::pow(3 * (1.0 / 3) * (4.0 / 9), 2), 0.05);  // (B(3,1,1/3))^2 * 15
}
