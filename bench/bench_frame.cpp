// Whole-frame benchmark in a real GLUT window. It runs the editor's own display() and, in the same
// run and the same window, two peers that draw the same picture (axes, 50 x 50 yellow samples of
// size 3, 16 red labelled control points of size 7, 24 green net segments, same camera, projection
// and patch transform) but make the surface another way:
//   evaluator  OpenGL's evaluator: glMap2f, glMapGrid2f and glEvalMesh2(GL_POINT) over the same
//              50 x 50 parameters 0 .. 0.98;
//   array      the samples computed once up front and drawn from a vertex array with
//              glDrawArrays, the floor for this picture.
// Every frame is timed from its first GL call until glFinish returns after the buffer swap. The
// modes take turns frame by frame, with the order rotated, so changes in machine load hit all of
// them alike. After each round the picture is read back and checked: the yellow patch must be in
// it, and the three pictures are compared pixel by pixel.
//
// Usage: bench_frame [--grid N]... [--rounds R] [--frames F]   (defaults: --grid 4, 12 rounds of
// 40 frames of each mode). Run it under an X server with GLX, e.g. Xvfb with Mesa's llvmpipe.
#include <GL/freeglut.h>  // glutMainLoopEvent, to pump events without entering the main loop

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/editor_state.h"
#include "render/render.h"
#include "surface/surface.h"

namespace {
constexpr int kModes = 3;
const char* const kModeNames[kModes] = {"program", "evaluator", "array"};
constexpr int kMeshIntervals = 49;               // 50 grid values per side, 0 .. 0.98
constexpr float kMeshLast = 49 * 0.02f;          // the last sampled parameter, 0.98

bool windowShown = false;
int shownWidth = 0;
int shownHeight = 0;
std::vector<float> arrayVertices;  // the array peer's samples, computed once

void ignoreDisplay() {}
void noteReshape(int w, int h) {
    windowShown = true;
    shownWidth = w;
    shownHeight = h;
}

// The parts of a frame that are the same for both peers, around the surface pass they differ in.
// Everything but the surface is the editor's own drawing code, in the editor's order.
template <typename Surface>
void peerFrame(Surface&& surface) {
    const EditorState& s = editorState;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(s.eye.x, s.eye.y, s.eye.z, s.center.x, s.center.y, s.center.z, 0.0, 0.0, 1.0);
    drawAxes(6000.0f);
    glPushMatrix();
    applyObjectTransform();
    buildBaseGrid();
    surface();
    drawControlPoints();
    drawControlNet();
    glPopMatrix();
    glutSwapBuffers();
}

void evaluatorSurface() {
    const int rows = controlGrid.rows;
    const int cols = controlGrid.cols;
    GLfloat points[4][4][3];
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            const Vec3d p = controlPoint(i, j);
            points[i][j][0] = static_cast<GLfloat>(p.x);
            points[i][j][1] = static_cast<GLfloat>(p.y);
            points[i][j][2] = static_cast<GLfloat>(p.z);
        }
    }
    // u runs with the row index and v with the column index, as in the editor.
    glMap2f(GL_MAP2_VERTEX_3, 0.0f, 1.0f, 4 * 3, rows, 0.0f, 1.0f, 3, cols, &points[0][0][0]);
    glEnable(GL_MAP2_VERTEX_3);
    glMapGrid2f(kMeshIntervals, 0.0f, kMeshLast, kMeshIntervals, 0.0f, kMeshLast);
    glColor3f(1.0f, 2.0f, 0.0f);
    glPointSize(3.0f);
    glEvalMesh2(GL_POINT, 0, kMeshIntervals, 0, kMeshIntervals);
    glDisable(GL_MAP2_VERTEX_3);
}

void arraySurface() {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, arrayVertices.data());
    glColor3f(1.0f, 2.0f, 0.0f);
    glPointSize(3.0f);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(arrayVertices.size() / 3));
    glDisableClientState(GL_VERTEX_ARRAY);
}

void drawFrame(int mode) {
    switch (mode) {
    case 0: display(); break;
    case 1: peerFrame(evaluatorSurface); break;
    default: peerFrame(arraySurface); break;
    }
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

double quantile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
}

std::vector<unsigned char> readBack(int w, int h) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

long countYellow(const std::vector<unsigned char>& px) {
    long n = 0;
    for (std::size_t k = 0; k + 2 < px.size(); k += 3) {
        if (px[k] > 200 && px[k + 1] > 200 && px[k + 2] < 60) ++n;
    }
    return n;
}

long countRed(const std::vector<unsigned char>& px) {
    long n = 0;
    for (std::size_t k = 0; k + 2 < px.size(); k += 3) {
        if (px[k] > 200 && px[k + 1] < 60 && px[k + 2] < 60) ++n;
    }
    return n;
}

long countDifferent(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    long n = 0;
    for (std::size_t k = 0; k + 2 < a.size(); k += 3) {
        if (a[k] != b[k] || a[k + 1] != b[k + 1] || a[k + 2] != b[k + 2]) ++n;
    }
    return n;
}

void pumpEvents() { glutMainLoopEvent(); }

// CPU time of the calling thread in milliseconds: the share of a frame spent in this process's
// own thread (evaluation and GL calls), apart from Mesa's rasteriser threads and other processes.
double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

// Runs every mode at one grid size and prints the result lines. False if a picture is missing.
bool runGrid(int n, int rounds, int frames) {
    controlGrid.rows = n;
    controlGrid.cols = n;
    editorState.resetPending = true;
    display();  // the editor's first frame: the full reset and the base grid
    // One edit and a small patch transform, so the picture is not the flat start-up one.
    controlGrid.offset[n / 2][n / 2] = {0.0, 0.0, 15.0};
    editorState.rotationAngle = 30.0f;
    editorState.translation = {0.0f, 0.0f, 50.0f};
    buildBaseGrid();
    arrayVertices.clear();
    sweepSurface([](const SurfaceSample& s) {
        arrayVertices.push_back(s.x);
        arrayVertices.push_back(s.y);
        arrayVertices.push_back(s.z);
    });

    const int w = shownWidth;
    const int h = shownHeight;
    std::vector<double> times[kModes];
    std::vector<double> cpuTimes[kModes];
    std::vector<double> roundMedians[kModes];
    std::vector<unsigned char> pictures[kModes];
    long yellow[kModes] = {0, 0, 0};
    using Clock = std::chrono::steady_clock;
    for (int r = -1; r < rounds; ++r) {  // round -1 warms up and is not counted
        std::vector<double> roundTimes[kModes];
        for (int f = 0; f < frames; ++f) {
            for (int k = 0; k < kModes; ++k) {
                const int mode = (k + f) % kModes;  // each mode leads in turn
                pumpEvents();
                const double c0 = threadCpuMs();
                const Clock::time_point t0 = Clock::now();
                drawFrame(mode);
                glFinish();
                const Clock::time_point t1 = Clock::now();
                const double c1 = threadCpuMs();
                roundTimes[mode].push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
                if (r >= 0) cpuTimes[mode].push_back(c1 - c0);
            }
        }
        // One more frame per mode, read back: the picture must be there, and the first round keeps
        // the three pictures for comparison. Mesa's software renderer on X swaps by copying the back
        // buffer to the window, so the back buffer still holds the frame just shown; a swap that
        // left it undefined would make this check fail, not pass.
        for (int mode = 0; mode < kModes; ++mode) {
            drawFrame(mode);
            std::vector<unsigned char> px = readBack(w, h);
            // At 1 x 1 every sample sits under the red dot of the one control point, so there the
            // dot stands in for the patch.
            const long y = countYellow(px);
            const long red = countRed(px);
            if (n > 1 ? y < 400 : red < 40) {
                std::fprintf(stderr, "bench_frame: %dx%d %s: the patch is missing (%ld yellow, %ld red pixels)\n",
                             n, n, kModeNames[mode], y, red);
                return false;
            }
            if (r == 0) {
                yellow[mode] = y;
                pictures[mode] = std::move(px);
            }
        }
        if (r < 0) continue;
        for (int m = 0; m < kModes; ++m) {
            roundMedians[m].push_back(median(roundTimes[m]));
            times[m].insert(times[m].end(), roundTimes[m].begin(), roundTimes[m].end());
        }
    }

    std::printf("grid %dx%d window %dx%d rounds %d frames_per_round %d\n", n, n, w, h, rounds, frames);
    double med[kModes];
    for (int m = 0; m < kModes; ++m) {
        med[m] = median(times[m]);
        std::printf("mode %-9s median_ms %.4f p10_ms %.4f p90_ms %.4f round_median_min_ms %.4f "
                    "round_median_max_ms %.4f thread_cpu_median_ms %.4f yellow_px %ld\n",
                    kModeNames[m], med[m], quantile(times[m], 0.10), quantile(times[m], 0.90),
                    *std::min_element(roundMedians[m].begin(), roundMedians[m].end()),
                    *std::max_element(roundMedians[m].begin(), roundMedians[m].end()), median(cpuTimes[m]),
                    yellow[m]);
    }
    for (int peer = 1; peer < kModes; ++peer) {
        std::vector<double> perRound;
        for (int r = 0; r < rounds; ++r) perRound.push_back(roundMedians[0][r] / roundMedians[peer][r]);
        std::printf("ratio program/%-9s %.3f round_min %.3f round_max %.3f differing_px %ld\n",
                    kModeNames[peer], med[0] / med[peer],
                    *std::min_element(perRound.begin(), perRound.end()),
                    *std::max_element(perRound.begin(), perRound.end()),
                    countDifferent(pictures[0], pictures[peer]));
    }
    std::fflush(stdout);
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    std::vector<int> grids;
    int rounds = 12;
    int frames = 40;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        if (k + 1 < argc && a == "--grid") {
            grids.push_back(std::atoi(argv[++k]));
        } else if (k + 1 < argc && a == "--rounds") {
            rounds = std::atoi(argv[++k]);
        } else if (k + 1 < argc && a == "--frames") {
            frames = std::atoi(argv[++k]);
        } else {
            std::fprintf(stderr, "usage: bench_frame [--grid N]... [--rounds R] [--frames F]\n");
            return 2;
        }
    }
    if (grids.empty()) grids.push_back(4);
    for (int n : grids) {
        if (n < 1 || n > 4) {
            std::fprintf(stderr, "bench_frame: grid size must be 1..4\n");
            return 2;
        }
    }
    if (rounds < 1 || frames < 1) {
        std::fprintf(stderr, "bench_frame: rounds and frames must be positive\n");
        return 2;
    }

    // The editor's window, display mode and GL state.
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(editorState.windowWidth, editorState.windowHeight);
    glutInitWindowPosition(100, 100);
    glutCreateWindow(" Vellorin frame bench ");
    glutDisplayFunc(ignoreDisplay);
    glutReshapeFunc(noteReshape);
    initRendering();
    for (int k = 0; k < 1000 && !windowShown; ++k) pumpEvents();
    if (!windowShown) {
        std::fprintf(stderr, "bench_frame: the window never appeared\n");
        return 1;
    }
    reshape(shownWidth, shownHeight);
    std::printf("renderer %s | %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(glGetString(GL_VERSION)));

    for (int n : grids) {
        if (!runGrid(n, rounds, frames)) return 1;
    }
    return 0;
}
