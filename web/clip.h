// Clipping a line in clip space before WebGL sees it, as a desktop GL's clipper does.
//
// A desktop GL cuts every line to the view volume before it rasterises it; WebGL hands the ends
// to whatever GL lies under the browser, and some of those lose a line outright: ANGLE's diamond
// rule emulation when an end lies behind the eye (w < 0), Mesa in an OpenGL ES context when an
// end lies more than 2^15 pixels from the viewport's centre. So each line is cut here at the near
// and far planes and at a guard band kGuardPixels from the centre across and up: every end WebGL
// gets lies in front of the eye and on a few thousand pixels of the screen. The band, not the
// viewport's edge, keeps the pixels a line covers on the screen those of the uncut line.
#pragma once

namespace clip {

// How far from the viewport's centre a line's ends may lie, in pixels: well inside 2^15 for any
// canvas (a 900-pixel-wide window at pixel ratio 3 spans 1350 pixels either side).
constexpr float kGuardPixels = 8192.0f;

// How many w the band reaches either side for a viewport `size` pixels across: never less than
// the view volume itself.
inline float guardFor(int size) {
    const float g = size > 0 ? kGuardPixels / (static_cast<float>(size) / 2.0f) : 1.0f;
    return g > 1.0f ? g : 1.0f;
}

// The part of the line from clip-space a to b (x, y, z, w) inside |x| <= gx w, |y| <= gy w and
// |z| <= w, as the parameters [t[0], t[1]] along a + t (b - a). False when none of it is inside.
// Each cut is measured from a, so a line that crosses the near plane alone is cut where it always
// was.
inline bool clipLine(const float a[4], const float b[4], float gx, float gy, float t[2]) {
    // Each plane's distance, >= 0 on the inside: (coefficients of x, y, z, then of w).
    const float planes[6][4] = {
        {0, 0, 1, 1},  {0, 0, -1, 1},  // near, far
        {1, 0, 0, gx}, {-1, 0, 0, gx},  // left, right
        {0, 1, 0, gy}, {0, -1, 0, gy},  // bottom, top
    };
    t[0] = 0.0f;
    t[1] = 1.0f;
    for (const auto& p : planes) {
        const float da = p[0] * a[0] + p[1] * a[1] + p[2] * a[2] + p[3] * a[3];
        const float db = p[0] * b[0] + p[1] * b[1] + p[2] * b[2] + p[3] * b[3];
        if (da < 0.0f && db < 0.0f) return false;
        if (da < 0.0f) {
            const float s = da / (da - db);
            if (s > t[0]) t[0] = s;
        } else if (db < 0.0f) {
            const float s = da / (da - db);
            if (s < t[1]) t[1] = s;
        }
    }
    return t[0] <= t[1];
}

}  // namespace clip
