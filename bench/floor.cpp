// The floor the page's frames are held to (tests/web/fps.mjs): the program's own 50 x 50 sweep of
// the start-up patch, fresh every frame, in WebAssembly built from the same model library and
// flags as the site's module. Its page (floor.html) uploads the samples and draws them as points;
// nothing else a frame of the program does (axes, control points, labels, net, the per-vertex
// transform) is here, so a frame of this page is the least a frame of the program can cost.
#include <emscripten/emscripten.h>

#include <cmath>

#include "app/editor_state.h"
#include "surface/surface.h"

namespace {
constexpr int kSamples = 2500;
SurfaceSample samples[kSamples];
float viewMatrix[16];

void normalize(double v[3]) {
    const double r = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int k = 0; k < 3; ++k) v[k] /= r;
}
}  // namespace

extern "C" {
// The frame's samples, as the program's display() sweeps them: x, y, z floats, 2,500 of them.
EMSCRIPTEN_KEEPALIVE const float* floorSweep() {
    buildBaseGrid();
    int n = 0;
    sweepSurface([&n](const SurfaceSample& s) {
        if (n < kSamples) samples[n++] = s;
    });
    return &samples[0].x;
}

// Projection times camera at start-up for a window of the given aspect, column-major, for the
// floor's vertex shader: the samples land where the program draws them.
EMSCRIPTEN_KEEPALIVE const float* floorMatrix(double aspect) {
    const EditorState& s = editorState;
    const double f = 1.0 / std::tan(s.fovY / 2.0 * M_PI / 180.0);
    const double depth = s.zFar - s.zNear;
    const double p[16] = {f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, -(s.zFar + s.zNear) / depth, -1,
                          0, 0, -2.0 * s.zNear * s.zFar / depth, 0};
    double fwd[3] = {s.center.x - s.eye.x, s.center.y - s.eye.y, s.center.z - s.eye.z};
    normalize(fwd);
    double side[3] = {fwd[1], -fwd[0], 0.0};  // forward x (0, 0, 1)
    normalize(side);
    const double up[3] = {side[1] * fwd[2] - side[2] * fwd[1], side[2] * fwd[0] - side[0] * fwd[2],
                          side[0] * fwd[1] - side[1] * fwd[0]};
    const double eye[3] = {s.eye.x, s.eye.y, s.eye.z};
    double v[16] = {side[0], up[0], -fwd[0], 0, side[1], up[1], -fwd[1], 0,
                    side[2], up[2], -fwd[2], 0, 0, 0, 0, 1};
    for (int row = 0; row < 3; ++row)
        v[12 + row] = -(v[row] * eye[0] + v[4 + row] * eye[1] + v[8 + row] * eye[2]);
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += p[k * 4 + row] * v[col * 4 + k];
            viewMatrix[col * 4 + row] = static_cast<float>(sum);
        }
    return viewMatrix;
}
}
