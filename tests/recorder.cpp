// The recording stand-in: definitions of the GL, GLU and GLUT functions the editor calls.
#include "recorder.h"

#include <GL/glut.h>
#include <GL/glx.h>

#include <initializer_list>

GlRecord glRecord;

void* glutBitmapTimesRoman24 = nullptr;  // only its address matters: it names the font

void resetRecord() { glRecord = GlRecord{}; }

std::vector<GlCall> callsNamed(const std::string& fn, size_t from) {
    std::vector<GlCall> out;
    for (size_t k = from; k < glRecord.calls.size(); ++k) {
        if (fn.empty() || glRecord.calls[k].fn == fn) out.push_back(glRecord.calls[k]);
    }
    return out;
}

size_t countCalls(const std::string& fn) { return callsNamed(fn).size(); }

std::vector<std::string> callNames(size_t from) {
    std::vector<std::string> out;
    for (size_t k = from; k < glRecord.calls.size(); ++k) out.push_back(glRecord.calls[k].fn);
    return out;
}

namespace {
void record(const char* fn, std::initializer_list<double> args, std::string text = {},
            const void* ptr = nullptr) {
    glRecord.calls.push_back(GlCall{fn, args, std::move(text), ptr});
}
}  // namespace

extern "C" {
// GL
void glClear(GLbitfield mask) { record("glClear", {double(mask)}); }
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) { record("glClearColor", {r, g, b, a}); }
void glClearDepth(GLclampd d) { record("glClearDepth", {d}); }
void glDepthFunc(GLenum f) { record("glDepthFunc", {double(f)}); }
void glEnable(GLenum cap) { record("glEnable", {double(cap)}); }
void glShadeModel(GLenum m) { record("glShadeModel", {double(m)}); }
void glMatrixMode(GLenum m) { record("glMatrixMode", {double(m)}); }
void glLoadIdentity() { record("glLoadIdentity", {}); }
void glViewport(GLint x, GLint y, GLsizei w, GLsizei h) { record("glViewport", {double(x), double(y), double(w), double(h)}); }
void glPushMatrix() { record("glPushMatrix", {}); }
void glPopMatrix() { record("glPopMatrix", {}); }
void glRotatef(GLfloat a, GLfloat x, GLfloat y, GLfloat z) { record("glRotatef", {a, x, y, z}); }
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) { record("glTranslatef", {x, y, z}); }
void glBegin(GLenum mode) { record("glBegin", {double(mode)}); }
void glEnd() { record("glEnd", {}); }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { record("glColor3f", {r, g, b}); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { record("glVertex3f", {x, y, z}); }
void glPointSize(GLfloat s) { record("glPointSize", {s}); }
void glRasterPos3f(GLfloat x, GLfloat y, GLfloat z) { record("glRasterPos3f", {x, y, z}); }
// GLU
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zn, GLdouble zf) { record("gluPerspective", {fovy, aspect, zn, zf}); }
void gluLookAt(GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz,
               GLdouble ux, GLdouble uy, GLdouble uz) {
    record("gluLookAt", {ex, ey, ez, cx, cy, cz, ux, uy, uz});
}
// GLUT
void glutInit(int* argc, char** argv) {
    record("glutInit", {double(*argc)});
    for (int k = 0; k < *argc; ++k) glRecord.initArgs.emplace_back(argv[k]);
}
void glutInitDisplayMode(unsigned int mode) { record("glutInitDisplayMode", {double(mode)}); }
void glutInitWindowSize(int w, int h) { record("glutInitWindowSize", {double(w), double(h)}); }
void glutInitWindowPosition(int x, int y) { record("glutInitWindowPosition", {double(x), double(y)}); }
int glutCreateWindow(const char* title) { record("glutCreateWindow", {}, title); return 1; }
void glutReshapeFunc(void (*f)(int, int)) { record("glutReshapeFunc", {}); glRecord.reshape = f; }
void glutDisplayFunc(void (*f)()) { record("glutDisplayFunc", {}); glRecord.display = f; }
void glutKeyboardFunc(void (*f)(unsigned char, int, int)) { record("glutKeyboardFunc", {}); glRecord.keyboard = f; }
void glutSpecialFunc(void (*f)(int, int, int)) { record("glutSpecialFunc", {}); glRecord.special = f; }
void glutIdleFunc(void (*f)()) { record("glutIdleFunc", {}); glRecord.idle = f; }
void glutMainLoop() { record("glutMainLoop", {}); }  // returns at once: the test is the event loop
void glutSwapBuffers() { record("glutSwapBuffers", {}); }
void glutPostRedisplay() { record("glutPostRedisplay", {}); }
void glutBitmapCharacter(void* font, int c) { record("glutBitmapCharacter", {double(c)}, {}, font); }
int glutCreateMenu(void (*handler)(int)) {
    glRecord.menus.push_back(RecordedMenu{handler, {}});
    glRecord.currentMenu = int(glRecord.menus.size());
    record("glutCreateMenu", {double(glRecord.currentMenu)});
    return glRecord.currentMenu;
}
void glutAddMenuEntry(const char* label, int value) {
    record("glutAddMenuEntry", {double(value)}, label);
    if (glRecord.currentMenu > 0) glRecord.menus[glRecord.currentMenu - 1].items.push_back({label, value, false});
}
void glutAddSubMenu(const char* label, int menu) {
    record("glutAddSubMenu", {double(menu)}, label);
    if (glRecord.currentMenu > 0) glRecord.menus[glRecord.currentMenu - 1].items.push_back({label, menu, true});
}
void glutAttachMenu(int button) {
    record("glutAttachMenu", {double(button)});
    glRecord.attachedButton = button;
    glRecord.attachedMenu = glRecord.currentMenu;
}
// GLX: no X server stands behind the stand-in, as none does in the browser or on Windows.
Display* glXGetCurrentDisplay() { return nullptr; }
GLXDrawable glXGetCurrentDrawable() { return None; }
}  // extern "C"
