// Drawing passes for the patch. Everything is immediate mode, one glBegin/glEnd per point or
// segment, redrawn from the model in every frame.
#include <GL/glut.h>

#include "app/editor_state.h"
#include "render/render.h"
#include "surface/surface.h"

namespace {
constexpr float kControlPointSize = 7.0f;
constexpr float kSampleSize = 3.0f;
constexpr double kLabelLift = 5.0;  // labels sit this far above their point along z
}  // namespace

void drawText(float x, float y, float z, void* font, const char* text) {
    glRasterPos3f(x, y, z);
    for (const char* c = text; *c != '\0'; ++c) {
        glutBitmapCharacter(font, static_cast<unsigned char>(*c));
    }
}

void drawControlPoints() {
    for (int i = 0; i < controlGrid.rows; ++i) {
        for (int j = 0; j < controlGrid.cols; ++j) {
            const Vec3d p = controlPoint(i, j);
            glColor3f(1.0f, 0.0f, 0.0f);
            glPointSize(kControlPointSize);
            glBegin(GL_POINTS);
            glVertex3f(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
            glEnd();
            drawText(static_cast<float>(p.x), static_cast<float>(p.y),
                     static_cast<float>(p.z + kLabelLift), GLUT_BITMAP_TIMES_ROMAN_24,
                     controlGrid.labels[i * 4 + j]);
        }
    }
}

namespace {
void drawSegment(const Vec3d& a, const Vec3d& b) {
    glColor3f(0.0f, 1.0f, 0.0f);
    glBegin(GL_LINES);
    glVertex3f(static_cast<float>(a.x), static_cast<float>(a.y), static_cast<float>(a.z));
    glVertex3f(static_cast<float>(b.x), static_cast<float>(b.y), static_cast<float>(b.z));
    glEnd();
}
}  // namespace

void drawControlNet() {
    for (int i = 0; i < controlGrid.rows; ++i) {
        for (int j = 0; j + 1 < controlGrid.cols; ++j) {
            drawSegment(controlPoint(i, j), controlPoint(i, j + 1));
        }
    }
    for (int i = 0; i + 1 < controlGrid.rows; ++i) {
        for (int j = 0; j < controlGrid.cols; ++j) {
            drawSegment(controlPoint(i, j), controlPoint(i + 1, j));
        }
    }
}

void applyObjectTransform() {
    const AxisVector a = axisVector(editorState.rotationAxis);
    const PatchTranslation& t = editorState.translation;
    glRotatef(editorState.rotationAngle, a.x, a.y, a.z);
    glTranslatef(t.tx, t.ty, t.tz);
}

void drawSurfaceSample(float x, float y, float z) {
    glColor3f(1.0f, 2.0f, 0.0f);  // green past 1 on purpose: GL clamps it to full yellow
    glPointSize(kSampleSize);
    glBegin(GL_POINTS);
    glVertex3f(x, y, z);
    glEnd();
}

void drawSurface() {
    buildBaseGrid();
    sweepSurface([](const SurfaceSample& s) { drawSurfaceSample(s.x, s.y, s.z); });
}
