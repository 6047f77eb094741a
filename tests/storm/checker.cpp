#include "checker.h"

#include <GL/glut.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "app/editor_state.h"
#include "surface/surface.h"
#include "tests/recorder.h"

namespace {
// Both records are constant-initialised, so these copies are the values the program starts with.
const EditorState kStartEditor = editorState;
const ControlGrid kStartGrid = controlGrid;

// center - eye as the start (and every reset) sets it.
constexpr double kViewX = -900.0, kViewY = -900.0, kViewZ = -348.0;
constexpr int kSamplesPerFrame = 50 * 50;

std::string format(const char* fmt, double a = 0, double b = 0, double c = 0, double d = 0) {
    char buf[200];
    std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
    return buf;
}

// Checks recorded calls one by one against the sequence a handler must produce.
class CallWalk {
public:
    explicit CallWalk(const std::vector<GlCall>& calls) : calls_(calls) {}

    // The next call must be fn; with args given, its leading arguments must equal them.
    bool next(const char* fn, std::initializer_list<double> args = {}) {
        if (!error_.empty()) return false;
        if (at_ >= calls_.size()) return fail(fn, "missing");
        const GlCall& c = calls_[at_];
        if (c.fn != fn) return fail(fn, ("got " + c.fn).c_str());
        size_t k = 0;
        for (double want : args) {
            if (k >= c.args.size() || c.args[k] != want) return fail(fn, "wrong argument");
            ++k;
        }
        ++at_;
        return true;
    }
    const GlCall& last() const { return calls_[at_ - 1]; }
    // After the whole sequence: nothing may follow.
    std::string finish() {
        if (error_.empty() && at_ != calls_.size()) fail("end", ("extra " + calls_[at_].fn).c_str());
        return error_;
    }

private:
    bool fail(const char* want, const char* what) {
        error_ = "call " + std::to_string(at_) + ": expected " + want + ", " + what;
        return false;
    }
    const std::vector<GlCall>& calls_;
    size_t at_ = 0;
    std::string error_;
};

void expectSegment(CallWalk& w, float r, float g, float b) {
    w.next("glColor3f", {r, g, b});
    w.next("glVertex3f", {0, 0, 0});
    w.next("glVertex3f");
}

// Every call one frame must make for a grid of rows x cols, in order.
std::string checkFrame(const std::vector<GlCall>& calls, int rows, int cols) {
    CallWalk w(calls);
    w.next("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT});
    w.next("glLoadIdentity");
    w.next("gluLookAt");
    for (float shade : {1.0f, 0.7f}) {
        w.next("glBegin", {GL_LINES});
        expectSegment(w, shade, 0, 0);
        expectSegment(w, 0, shade, 0);
        expectSegment(w, 0, 0, shade);
        w.next("glEnd");
    }
    w.next("glPushMatrix");
    w.next("glRotatef");
    w.next("glTranslatef");
    for (int k = 0; k < kSamplesPerFrame; ++k) {
        w.next("glColor3f", {1, 2, 0});
        w.next("glPointSize", {3});
        w.next("glBegin", {GL_POINTS});
        w.next("glVertex3f");
        if (!w.next("glEnd")) break;
    }
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            w.next("glColor3f", {1, 0, 0});
            w.next("glPointSize", {7});
            w.next("glBegin", {GL_POINTS});
            w.next("glVertex3f");
            w.next("glEnd");
            w.next("glRasterPos3f");
            w.next("glutBitmapCharacter", {double(static_cast<unsigned char>(kStartGrid.labels[i * 4 + j][0]))});
        }
    }
    const int segments = rows * (cols - 1) + (rows - 1) * cols;
    for (int k = 0; k < segments; ++k) {
        w.next("glColor3f", {0, 1, 0});
        w.next("glBegin", {GL_LINES});
        w.next("glVertex3f");
        w.next("glVertex3f");
        w.next("glEnd");
    }
    w.next("glPopMatrix");
    w.next("glutSwapBuffers");
    return w.finish();
}

std::string checkReshape(const std::vector<GlCall>& calls, int wdt, int hgt) {
    CallWalk w(calls);
    if (hgt != 0) {
        w.next("glViewport", {0, 0, double(wdt), double(hgt)});
        w.next("glMatrixMode", {GL_PROJECTION});
        w.next("glLoadIdentity");
        w.next("gluPerspective", {35.0, double(wdt) / double(hgt), 1.0, 20000.0});
        w.next("glMatrixMode", {GL_MODELVIEW});
    }
    return w.finish();
}

bool finite(const Vec3d& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

double largestCoordinate(const EditorState& s) {
    return std::max({std::fabs(s.eye.x), std::fabs(s.eye.y), std::fabs(s.eye.z),
                     std::fabs(s.center.x), std::fabs(s.center.y), std::fabs(s.center.z)});
}

// How far center - eye, given as two triples, is from the start view; "" when within bound.
std::string checkView(const double* eye, const double* center, double bound, double& worst) {
    const double d[3] = {center[0] - eye[0] - kViewX, center[1] - eye[1] - kViewY,
                         center[2] - eye[2] - kViewZ};
    const double off = std::max({std::fabs(d[0]), std::fabs(d[1]), std::fabs(d[2])});
    worst = std::max(worst, off);
    if (off <= bound) return "";
    return format("center - eye is off the start view by (%g, %g, %g), bound %g", d[0], d[1], d[2],
                  bound);
}
}  // namespace

void restartEditor() {
    editorState = kStartEditor;
    controlGrid = kStartGrid;
    resetRecord();
}

double cameraDriftBound(long moves, double largest) {
    // An arrow key adds the same step to eye and center. Each sum is rounded once, by at most half
    // the spacing of doubles at |result| <= largest, so one key changes center - eye by at most
    // one such spacing per component; up and down add 20 to integers and are exact, but are counted
    // as well. Computing center - eye for the check rounds once more, at |center - eye| < 2048.
    const double spacing = std::nextafter(largest, std::numeric_limits<double>::infinity()) - largest;
    const double measure = std::nextafter(2048.0, 4096.0) - 2048.0;
    return static_cast<double>(moves) * spacing + measure;
}

void InvariantChecker::restart() {
    cameraMoves_ = 0;
    cameraMax_ = largestCoordinate(editorState);
    resetDue_ = false;
    worstDrift_ = 0;
}

void InvariantChecker::before(const Event& e) {
    glRecord.calls.clear();
    resetDue_ = editorState.resetPending &&
                (e.kind == EventKind::Display || e.kind == EventKind::Idle);
}

std::string InvariantChecker::after(const Event& e) {
    const EditorState& s = editorState;
    const ControlGrid& g = controlGrid;
    const std::vector<GlCall>& calls = glRecord.calls;

    if (g.rows < 1 || g.rows > 4 || g.cols < 1 || g.cols > 4)
        return format("grid is %g x %g", g.rows, g.cols);
    const bool none = g.selectedRow == -1 && g.selectedCol == -1;
    const bool some = g.selectedRow >= 0 && g.selectedRow <= 3 && g.selectedCol >= 0 && g.selectedCol <= 3;
    if (!none && !some) return format("selection is (%g, %g)", g.selectedRow, g.selectedCol);
    switch (s.rotationAxis) {
    case AXIS_ZZ: case AXIS_YY: case AXIS_XX: case AXIS_XZ: case AXIS_YZ: case AXIS_XY: break;
    default: return format("rotation axis is %g", static_cast<int>(s.rotationAxis));
    }
    if (!finite(s.eye) || !finite(s.center)) return "camera is not finite";
    if (!std::isfinite(s.rotationAngle) || !std::isfinite(s.translation.tz) || !std::isfinite(s.aspect))
        return "patch transform or aspect is not finite";
    for (const GlCall& c : calls) {
        for (double v : c.args) {
            if (!std::isfinite(v)) return c.fn + " was given a value that is not finite";
        }
    }

    // Camera: the frame's gluLookAt shows the camera before any reset it performs.
    const bool frame = e.kind == EventKind::Display || e.kind == EventKind::Idle;
    if (e.kind == EventKind::Special && (e.a == GLUT_KEY_LEFT || e.a == GLUT_KEY_RIGHT ||
                                         e.a == GLUT_KEY_UP || e.a == GLUT_KEY_DOWN)) {
        ++cameraMoves_;
    }
    cameraMax_ = std::max(cameraMax_, largestCoordinate(s));
    const double bound = cameraDriftBound(cameraMoves_, cameraMax_);
    if (frame && !calls.empty() && calls.size() > 2 && calls[2].fn == "gluLookAt") {
        const std::vector<double>& a = calls[2].args;
        if (a[6] != 0 || a[7] != 0 || a[8] != 1) return "camera up is not (0, 0, 1)";
        const std::string view = checkView(&a[0], &a[3], bound, worstDrift_);
        if (!view.empty()) return "frame: " + view;
    }
    if (resetDue_) {
        if (std::memcmp(&s.eye, &kStartEditor.eye, sizeof s.eye) != 0 ||
            std::memcmp(&s.center, &kStartEditor.center, sizeof s.center) != 0)
            return "the reset did not restore the camera";
        cameraMoves_ = 0;
        cameraMax_ = largestCoordinate(s);
    }
    const double eye[3] = {s.eye.x, s.eye.y, s.eye.z};
    const double center[3] = {s.center.x, s.center.y, s.center.z};
    std::string view = checkView(eye, center, cameraDriftBound(cameraMoves_, cameraMax_), worstDrift_);
    if (!view.empty()) return view;

    // The calls this event made.
    std::string calls_error;
    switch (e.kind) {
    case EventKind::Display:
    case EventKind::Idle: calls_error = checkFrame(calls, g.rows, g.cols); break;
    case EventKind::Reshape: calls_error = checkReshape(calls, e.a, e.b); break;
    default:
        if (calls.size() != 1 || calls[0].fn != "glutPostRedisplay")
            calls_error = "expected one glutPostRedisplay, got " + std::to_string(calls.size()) + " calls";
        break;
    }
    if (!calls_error.empty()) return std::string(frame ? "frame: " : "") + calls_error;
    return "";
}
