// OpenGL and GLU for the page: the fixed-function subset the program calls, over WebGL 2.
//
// WebGL has no matrix stacks, no glBegin/glEnd and no current colour, so they live here. Every
// vertex is transformed to clip space on arrival, in single precision as a desktop GL does, and
// appended to one array for the frame. The array goes to WebGL in one upload when the frame ends
// (or the GL state changes), drawn in as few draws as the frame's order allows: a run of points,
// then a run of lines, and so on. Primitives inside one draw are rasterised and depth tested in
// the order they were given, so the picture and its depth tests are those of one glBegin/glEnd
// per point. Bitmap characters join the run of points as glyph vertices (see kVertexFloats), so
// text is drawn in the frame's order and depth tested at its raster position, as a desktop GL
// draws bitmaps; from the first glyph on, a run of points is a run of glyphs (kRunGlyphs), which
// the page may blend.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "web/clip.h"
#include "web/platform.h"

namespace {
struct Matrix {
    float m[16];  // column-major, as GL keeps it: element (row, col) is m[col * 4 + row]
};

constexpr Matrix kIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
constexpr double kPi = 3.14159265358979323846;
constexpr float kBitmapLift = 0.0001f;  // a desktop GL's nudge before it floors a bitmap's corner

std::vector<Matrix> modelview{kIdentity};
std::vector<Matrix> projection{kIdentity};
std::vector<Matrix>* currentStack = &modelview;

float color[3] = {1.0f, 1.0f, 1.0f};
float colorGiven[3] = {1.0f, 1.0f, 1.0f};  // the glColor3f arguments `color` was made from
float pointSize = 1.0f;
float clearColor[3] = {0.0f, 0.0f, 0.0f};
float clearDepth = 1.0f;
int viewport[4] = {0, 0, 0, 0};

// The frame's vertices not yet drawn: the first pendingFloats floats of `pending`, which keeps
// its size from frame to frame, so it only grows in the first frames. And where each run of one
// kind starts in them: pairs of (first vertex, kind), kind a kRun* value.
std::vector<float> pending;
std::size_t pendingFloats = 0;
std::vector<int> runs;
int runKind = -1;  // the kind of the last run, -1 before the first

__attribute__((noinline)) void growPending() { pending.resize(std::max<std::size_t>(2 * pending.size(), 4096)); }

// Room for one more vertex after the pending ones.
inline float* appendVertex() {
    if (pendingFloats + kVertexFloats > pending.size()) growPending();
    float* v = pending.data() + pendingFloats;
    pendingFloats += kVertexFloats;
    return v;
}

// Vertices from here on are of `kind`: a new run unless the last one is of that kind already.
void beginRun(int kind) {
    if (kind == runKind) return;
    runKind = kind;
    runs.push_back(static_cast<int>(pendingFloats) / kVertexFloats);
    runs.push_back(kind);
}
// The primitive between glBegin and glEnd: GL_POINTS, GL_LINES, or -1 outside (or unsupported).
int beginMode = -1;
int beginCount = 0;

struct Vertex {
    float f[kVertexFloats];
};
Vertex lineStart;  // the first vertex of the line being given

// The raster position as a desktop GL keeps it: window coordinates, validity, the colour it took,
// and how far the characters drawn since have moved it, in font pixels.
struct Raster {
    bool valid = false;
    float x = 0.0f, y = 0.0f, ndcZ = 0.0f;
    float color[3] = {1.0f, 1.0f, 1.0f};
    float advance = 0.0f;
} raster;

Matrix& top() { return currentStack->back(); }

// a * b, the way GL multiplies a matrix onto the current one.
Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k) s += a.m[k * 4 + row] * b.m[col * 4 + k];
            r.m[col * 4 + row] = s;
        }
    return r;
}

void multiplyCurrent(const Matrix& m) { top() = multiply(top(), m); }

void transform(const Matrix& a, const float in[4], float out[4]) {
    for (int row = 0; row < 4; ++row)
        out[row] = a.m[row] * in[0] + a.m[4 + row] * in[1] + a.m[8 + row] * in[2] + a.m[12 + row] * in[3];
}

// Object coordinates to clip coordinates: through eye space, as a desktop GL does.
void toClip(float x, float y, float z, float clip[4]) {
    const float object[4] = {x, y, z, 1.0f};
    float eye[4];
    transform(modelview.back(), object, eye);
    transform(projection.back(), eye, clip);
}

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// A colour channel as the window's 8 bits hold it. A desktop GL rounds c * 255 to the nearest
// level, ties to even (0.7 gives 178); WebGL implementations round ties up (179), so the level is
// chosen here and handed over exactly.
float toLevel(float c) { return std::nearbyint(clamp01(c) * 255.0f) / 255.0f; }

void normalize(float v[3]) {
    const float r = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (r == 0.0f) return;
    v[0] /= r;
    v[1] /= r;
    v[2] /= r;
}

// The line from a to b as a desktop GL's clipper leaves it (web/clip.h), then appended; a line
// wholly outside is dropped. A cut end takes the colour there too, as it takes the position.
void appendLine(const Vertex& a, const Vertex& b) {
    float t[2];
    if (!clip::clipLine(a.f, b.f, clip::guardFor(viewport[2]), clip::guardFor(viewport[3]), t)) return;
    Vertex ends[2] = {a, b};
    for (int e = 0; e < 2; ++e) {
        if (t[e] == static_cast<float>(e)) continue;  // that end is inside
        for (int k = 0; k < kVertexFloats; ++k) ends[e].f[k] = a.f[k] + t[e] * (b.f[k] - a.f[k]);
    }
    for (const Vertex& end : ends) {
        float* out = appendVertex();
        for (int k = 0; k < kVertexFloats; ++k) out[k] = end.f[k];
    }
}

void cross(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}
}  // namespace

void flushVertices() {
    if (pendingFloats > 0) {
        vellorinDraw(pending.data(), static_cast<int>(pendingFloats) / kVertexFloats, runs.data(),
                     static_cast<int>(runs.size()) / 2);
    }
    pendingFloats = 0;
    runs.clear();
    runKind = -1;
}

// --- state ------------------------------------------------------------------------------------

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf /*alpha: the canvas is opaque*/) {
    clearColor[0] = toLevel(r);
    clearColor[1] = toLevel(g);
    clearColor[2] = toLevel(b);
}

void glClearDepth(GLclampd depth) { clearDepth = clamp01(static_cast<float>(depth)); }

void glClear(GLbitfield mask) {
    flushVertices();
    vellorinClear((mask & GL_COLOR_BUFFER_BIT) != 0, (mask & GL_DEPTH_BUFFER_BIT) != 0, clearColor[0],
                  clearColor[1], clearColor[2], clearDepth);
}

void glEnable(GLenum cap) {
    if (cap == GL_DEPTH_TEST) {
        flushVertices();
        vellorinDepthTest(1, 0);
    }
}

void glDisable(GLenum cap) {
    if (cap == GL_DEPTH_TEST) {
        flushVertices();
        vellorinDepthTest(0, 0);
    }
}

void glDepthFunc(GLenum func) {
    flushVertices();
    vellorinDepthTest(-1, static_cast<int>(func));  // WebGL uses GL's enum values
}

void glShadeModel(GLenum /*mode: each primitive here has one colour, so smooth and flat agree*/) {}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    flushVertices();
    viewport[0] = x;
    viewport[1] = y;
    viewport[2] = width;
    viewport[3] = height;
    vellorinViewport(x, y, width, height);
}

void glPointSize(GLfloat size) { pointSize = size; }

void glColor3f(GLfloat r, GLfloat g, GLfloat b) {
    // The program gives the same colour before every sample: the same bits give the same levels.
    const float given[3] = {r, g, b};
    if (std::memcmp(given, colorGiven, sizeof given) == 0) return;
    std::memcpy(colorGiven, given, sizeof given);
    // Colours are clamped on their way to the window: a green of 2.0 is a full green.
    color[0] = toLevel(r);
    color[1] = toLevel(g);
    color[2] = toLevel(b);
}

// --- matrices ---------------------------------------------------------------------------------

void glMatrixMode(GLenum mode) { currentStack = mode == GL_PROJECTION ? &projection : &modelview; }

void glLoadIdentity() { top() = kIdentity; }

void glPushMatrix() { currentStack->push_back(top()); }

void glPopMatrix() {
    if (currentStack->size() > 1) currentStack->pop_back();  // GL ignores an underflowing pop
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    Matrix& m = top();
    for (int row = 0; row < 4; ++row) m.m[12 + row] += m.m[row] * x + m.m[4 + row] * y + m.m[8 + row] * z;
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    float axis[3] = {x, y, z};
    if (axis[0] == 0.0f && axis[1] == 0.0f && axis[2] == 0.0f) return;
    normalize(axis);
    const float radians = angle * static_cast<float>(kPi / 180.0);
    const float s = std::sin(radians);
    const float c = std::cos(radians);
    const float t = 1.0f - c;
    const float ax = axis[0], ay = axis[1], az = axis[2];
    Matrix r = kIdentity;
    r.m[0] = ax * ax * t + c;
    r.m[1] = ay * ax * t + az * s;
    r.m[2] = az * ax * t - ay * s;
    r.m[4] = ax * ay * t - az * s;
    r.m[5] = ay * ay * t + c;
    r.m[6] = az * ay * t + ax * s;
    r.m[8] = ax * az * t + ay * s;
    r.m[9] = ay * az * t - ax * s;
    r.m[10] = az * az * t + c;
    multiplyCurrent(r);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    // In double, then handed over as GLU hands its matrix to glMultMatrixd.
    const double radians = fovy / 2.0 * kPi / 180.0;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    if (deltaZ == 0.0 || sine == 0.0 || aspect == 0.0) return;
    const double cotangent = std::cos(radians) / sine;
    Matrix p = kIdentity;
    p.m[0] = static_cast<float>(cotangent / aspect);
    p.m[5] = static_cast<float>(cotangent);
    p.m[10] = static_cast<float>(-(zFar + zNear) / deltaZ);
    p.m[11] = -1.0f;
    p.m[14] = static_cast<float>(-2.0 * zNear * zFar / deltaZ);
    p.m[15] = 0.0f;
    multiplyCurrent(p);
}

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
               GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
    // GLU builds this matrix in single precision.
    float forward[3] = {static_cast<float>(centerX - eyeX), static_cast<float>(centerY - eyeY),
                        static_cast<float>(centerZ - eyeZ)};
    float up[3] = {static_cast<float>(upX), static_cast<float>(upY), static_cast<float>(upZ)};
    normalize(forward);
    float side[3];
    cross(forward, up, side);
    normalize(side);
    cross(side, forward, up);
    Matrix v = kIdentity;
    v.m[0] = side[0];
    v.m[4] = side[1];
    v.m[8] = side[2];
    v.m[1] = up[0];
    v.m[5] = up[1];
    v.m[9] = up[2];
    v.m[2] = -forward[0];
    v.m[6] = -forward[1];
    v.m[10] = -forward[2];
    multiplyCurrent(v);
    glTranslatef(static_cast<float>(-eyeX), static_cast<float>(-eyeY), static_cast<float>(-eyeZ));
}

// --- primitives -------------------------------------------------------------------------------

void glBegin(GLenum mode) {
    beginCount = 0;
    if (mode != GL_POINTS && mode != GL_LINES) {
        beginMode = -1;  // the program draws nothing else; other primitives are dropped
        return;
    }
    beginMode = static_cast<int>(mode);
    if (mode == GL_LINES) {
        beginRun(kRunLines);
    } else if (runKind != kRunGlyphs) {
        beginRun(kRunPoints);  // points after glyphs stay in the glyphs' run
    }
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    if (beginMode < 0) return;
    if (beginMode == GL_POINTS) {
        float* v = appendVertex();
        toClip(x, y, z, v);
        v[4] = color[0];
        v[5] = color[1];
        v[6] = color[2];
        v[7] = pointSize;
        ++beginCount;
        return;
    }
    Vertex v;
    toClip(x, y, z, v.f);
    v.f[4] = color[0];
    v.f[5] = color[1];
    v.f[6] = color[2];
    v.f[7] = 0.0f;
    if (beginCount % 2 == 0) {
        lineStart = v;  // a line is drawn when its second vertex arrives; a lone last one draws nothing
    } else {
        appendLine(lineStart, v);
    }
    ++beginCount;
}

void glEnd() { beginMode = -1; }

void glRasterPos3f(GLfloat x, GLfloat y, GLfloat z) {
    float clip[4];
    toClip(x, y, z, clip);
    const float w = clip[3];
    // A position outside the view volume is invalid, and bitmaps at it draw nothing.
    raster.valid = w > 0.0f && std::fabs(clip[0]) <= w && std::fabs(clip[1]) <= w && std::fabs(clip[2]) <= w;
    // Window coordinates in a desktop GL's own steps and rounding: ndc = clip * (1 / w), then
    // ndc * half size + (origin + half size).
    const float d = 1.0f / w;
    const float halfWidth = static_cast<float>(viewport[2]) / 2.0f;
    const float halfHeight = static_cast<float>(viewport[3]) / 2.0f;
    raster.x = clip[0] * d * halfWidth + (halfWidth + static_cast<float>(viewport[0]));
    raster.y = clip[1] * d * halfHeight + (halfHeight + static_cast<float>(viewport[1]));
    raster.ndcZ = clip[2] * d;
    raster.advance = 0.0f;
    for (int k = 0; k < 3; ++k) raster.color[k] = color[k];
}

void drawGlyph(int character, float advance) {
    if (!raster.valid) return;
    beginRun(kRunGlyphs);
    // A desktop GL places a bitmap at floor(raster + 0.0001 - origin); the small lift is added here,
    // where the arithmetic is a desktop's, and the page's shader subtracts the origin and floors.
    const float glyph[kVertexFloats] = {raster.x + kBitmapLift, raster.y + kBitmapLift, raster.ndcZ, raster.advance,
                                        raster.color[0], raster.color[1], raster.color[2],
                                        -static_cast<float>(character)};
    float* out = appendVertex();
    for (int k = 0; k < kVertexFloats; ++k) out[k] = glyph[k];
    raster.advance += advance;
}
