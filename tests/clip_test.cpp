// The page's line clipping (web/clip.h): what reaches WebGL lies in front of the eye and within
// the guard band, every visible part of a line is kept, and a cut at the near plane alone is
// where it always was.
#include <gtest/gtest.h>

#include <cmath>

#include "web/clip.h"

TEST(ClipLine, KeepsTheVisiblePartWithinTheBand) {
    struct Line {
        const char* what;
        float a[4], b[4];
        bool drawn;
    } const lines[] = {
        {"inside", {0.1f, 0.2f, 0.3f, 1}, {-0.5f, 0.4f, 0.9f, 2}, true},
        // An axis at the start view: from the origin to past the eye, where its near-plane cut
        // lies about 1.5 million pixels left of the canvas.
        {"axis past the eye", {0.05f, -0.3f, 0.99f, 1210}, {-3373.22f, -1149.93f, -1.3f, 0.7f}, true},
        {"behind the eye", {0.1f, 0.1f, -3, -1}, {0.2f, 0.1f, -5, -2}, false},
        {"beyond the far plane", {0, 0, 1.5f, 1}, {0.1f, 0, 3, 1}, false},
        {"outside, past the band's corner", {-30, 30, 0, 1}, {30, 30, 0, 1}, false},
        {"through the band's corner", {-40, -30, 0, 1}, {40, 30, 0, 1}, true},
    };
    const float gx = clip::guardFor(900), gy = clip::guardFor(700);  // the canvas at pixel ratio 1
    const auto inside = [&](const float p[4]) {
        const float slack = 1e-4f * p[3];  // the cut's rounding
        return p[3] > 0.0f && std::fabs(p[0]) <= gx * p[3] + slack && std::fabs(p[1]) <= gy * p[3] + slack &&
               std::fabs(p[2]) <= p[3] + slack;
    };
    for (const Line& l : lines) {
        SCOPED_TRACE(l.what);
        const auto at = [&](float t, float p[4]) { for (int k = 0; k < 4; ++k) p[k] = l.a[k] + t * (l.b[k] - l.a[k]); };
        float t[2], p[4];
        ASSERT_EQ(clip::clipLine(l.a, l.b, gx, gy, t), l.drawn);
        for (int k = 0; l.drawn && k <= 1000; ++k) {  // the ends are inside, and all inside is between them
            at(k / 1000.0f, p);
            EXPECT_TRUE(!inside(p) || (k / 1000.0f >= t[0] - 1e-3f && k / 1000.0f <= t[1] + 1e-3f)) << k;
        }
        for (int e = 0; l.drawn && e < 2; ++e) EXPECT_TRUE((at(t[e], p), inside(p))) << e;
    }
    // A line crossing only the near plane is cut at da / (da - db) of the way from a, as before.
    const float a[4] = {0.2f, 0.1f, -1.5f, 1.0f}, b[4] = {0.1f, 0.1f, 0.5f, 2.0f};
    float t[2];
    ASSERT_TRUE(clip::clipLine(a, b, gx, gy, t));
    EXPECT_EQ(t[0], (a[2] + a[3]) / ((a[2] + a[3]) - (b[2] + b[3])));
    // At pixel ratio 3 the band's edge stays kGuardPixels from the centre, far inside 2^15.
    EXPECT_LE(clip::guardFor(2700) * 1350.0f, clip::kGuardPixels);
}
