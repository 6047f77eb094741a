// Start-up, the window, the frame loop and the projection. GLUT's loop is the only loop: input
// callbacks change state and ask for a redraw, and the idle callback draws frame after frame.
#include <GL/glut.h>

#include "app/app.h"
#include "app/editor_state.h"
#include "input/input.h"
#include "render/render.h"
#include "surface/surface.h"

namespace {
constexpr int kWindowX = 100;
constexpr int kWindowY = 100;
constexpr const char* kWindowTitle = " Vellorin ";  // the spaces are part of the title
constexpr float kAxisLength = 6000.0f;              // half-length of each drawn axis

void axisSegment(float r, float g, float b, float x, float y, float z) {
    glColor3f(r, g, b);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(x, y, z);
}

// The full reset: all edits gone, view and modes back to their start, grid rebuilt.
void performReset() {
    clearAll();
    resetEditorState();
    buildBaseGrid();
    editorState.resetPending = false;
}
}  // namespace

int runEditor(int argc, char** argv) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(editorState.windowWidth, editorState.windowHeight);
    glutInitWindowPosition(kWindowX, kWindowY);
    glutCreateWindow(kWindowTitle);
    tagWindow();
    initRendering();
    glutReshapeFunc(reshape);
    glutDisplayFunc(display);
    glutKeyboardFunc(onKeyboard);
    glutSpecialFunc(onSpecialKey);
    glutIdleFunc(idle);
    buildMenus();
    glutMainLoop();
    return 0;
}

void initRendering() {
    glClearColor(0.7f, 0.7f, 1.0f, 0.0f);
    glClearDepth(1.0);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}

void reshape(int w, int h) {
    if (h == 0) return;  // keep the last projection rather than divide by zero
    glViewport(0, 0, w, h);
    EditorState& s = editorState;
    s.aspect = static_cast<double>(w) / static_cast<double>(h);
    s.windowWidth = w;
    s.windowHeight = h;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(s.fovY, s.aspect, s.zNear, s.zFar);
    glMatrixMode(GL_MODELVIEW);
}

void display() {
    const EditorState& s = editorState;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    // The camera is set before a pending reset, so a resetting frame still shows the old view.
    gluLookAt(s.eye.x, s.eye.y, s.eye.z, s.center.x, s.center.y, s.center.z, 0.0, 0.0, 1.0);
    drawAxes(kAxisLength);
    if (s.resetPending) performReset();
    glPushMatrix();
    applyObjectTransform();
    drawSurface();
    drawControlPoints();
    drawControlNet();
    glPopMatrix();
    glutSwapBuffers();
}

void idle() {
    display();  // directly, not through a redisplay request: frames follow one another without pause
}

void drawAxes(float length) {
    glBegin(GL_LINES);
    axisSegment(1.0f, 0.0f, 0.0f, length, 0.0f, 0.0f);
    axisSegment(0.0f, 1.0f, 0.0f, 0.0f, length, 0.0f);
    axisSegment(0.0f, 0.0f, 1.0f, 0.0f, 0.0f, length);
    glEnd();
    glBegin(GL_LINES);
    axisSegment(0.7f, 0.0f, 0.0f, -length, 0.0f, 0.0f);
    axisSegment(0.0f, 0.7f, 0.0f, 0.0f, -length, 0.0f);
    axisSegment(0.0f, 0.0f, 0.7f, 0.0f, 0.0f, -length);
    glEnd();
}
