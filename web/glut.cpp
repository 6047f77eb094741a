// GLUT for the page: the window is the page's canvas, the main loop is the browser's animation
// frame, and the menus are built in the page from the program's own calls. The page's events
// come back through the vellorin* entry points below, one at a time, as GLUT's callbacks do.
#include <GL/glut.h>
#include <emscripten/emscripten.h>

#include <vector>

#include "web/font.h"
#include "web/platform.h"
#include "web/narration.h"  // after each event and frame: what the page tells a screen reader

// The font is known by its address: GLUT_BITMAP_TIMES_ROMAN_24 is &glutBitmapTimesRoman24.
void* glutBitmapTimesRoman24 = nullptr;

namespace {
int initialWidth = 300;  // GLUT's default window size
int initialHeight = 300;

void (*displayFunc)() = nullptr;
void (*reshapeFunc)(int, int) = nullptr;
void (*keyboardFunc)(unsigned char, int, int) = nullptr;
void (*specialFunc)(int, int, int) = nullptr;
void (*idleFunc)() = nullptr;
bool redisplayPosted = true;  // a new window is drawn once

std::vector<void (*)(int)> menuHandlers{nullptr};  // menu ids start at 1
int currentMenu = 0;

// The browser's names of the keys that reach the program, with what GLUT hands its callbacks for
// them: special keys go to the special callback, the others to the keyboard callback as the
// characters they type (printable keys are their own characters and need no entry).
struct KeyName {
    const char* name;
    int code;
    bool special;
};
constexpr KeyName kKeyNames[] = {
    {"F1", GLUT_KEY_F1, true},   {"F2", GLUT_KEY_F2, true},   {"F3", GLUT_KEY_F3, true},
    {"F4", GLUT_KEY_F4, true},   {"F5", GLUT_KEY_F5, true},   {"F6", GLUT_KEY_F6, true},
    {"F7", GLUT_KEY_F7, true},   {"F8", GLUT_KEY_F8, true},   {"F9", GLUT_KEY_F9, true},
    {"F10", GLUT_KEY_F10, true}, {"F11", GLUT_KEY_F11, true}, {"F12", GLUT_KEY_F12, true},
    {"ArrowLeft", GLUT_KEY_LEFT, true},   {"ArrowUp", GLUT_KEY_UP, true},
    {"ArrowRight", GLUT_KEY_RIGHT, true}, {"ArrowDown", GLUT_KEY_DOWN, true},
    {"PageUp", GLUT_KEY_PAGE_UP, true},   {"PageDown", GLUT_KEY_PAGE_DOWN, true},
    {"Home", GLUT_KEY_HOME, true},        {"End", GLUT_KEY_END, true},
    {"Insert", GLUT_KEY_INSERT, true},
    {"Backspace", '\b', false}, {"Enter", '\r', false}, {"Escape", 27, false}, {"Delete", 127, false},
};
}  // namespace

void glutInit(int* /*argc*/, char** /*argv*/) {}
void glutInitDisplayMode(unsigned int /*mode: the canvas is always RGB, double-buffered, with depth*/) {}
void glutInitWindowPosition(int /*x*/, int /*y*/) {}

void glutInitWindowSize(int width, int height) {
    initialWidth = width;
    initialHeight = height;
}

int glutCreateWindow(const char* title) {
    vellorinCreateWindow(initialWidth, initialHeight, title);
    for (const KeyName& k : kKeyNames) vellorinKeyName(k.name, k.code, k.special ? 1 : 0);
    vellorinMouseButtons(GLUT_LEFT_BUTTON, GLUT_MIDDLE_BUTTON, GLUT_RIGHT_BUTTON);
    const BitmapFont& font = kTimesRoman24;
    vellorinBitmapFont(font.height, font.xorig, font.yorig, font.characters);
    return 1;
}

void glutDisplayFunc(void (*func)()) { displayFunc = func; }
void glutReshapeFunc(void (*func)(int, int)) { reshapeFunc = func; }
void glutKeyboardFunc(void (*func)(unsigned char, int, int)) { keyboardFunc = func; }
void glutSpecialFunc(void (*func)(int, int, int)) { specialFunc = func; }
void glutIdleFunc(void (*func)()) { idleFunc = func; }
void glutPostRedisplay() { redisplayPosted = true; }

void glutSwapBuffers() {
    flushVertices();  // the browser shows the canvas when the animation frame ends
}

void glutMainLoop() {
    vellorinStartLoop();
    emscripten_exit_with_live_runtime();  // never returns; the page's events drive the program
}

int glutCreateMenu(void (*callback)(int)) {
    menuHandlers.push_back(callback);
    currentMenu = static_cast<int>(menuHandlers.size()) - 1;
    vellorinMenuCreate(currentMenu);
    return currentMenu;
}

void glutAddMenuEntry(const char* label, int value) {
    if (currentMenu > 0) vellorinMenuEntry(currentMenu, label, value, 0);
}

void glutAddSubMenu(const char* label, int submenu) {
    if (currentMenu > 0) vellorinMenuEntry(currentMenu, label, 0, submenu);
}

void glutAttachMenu(int button) {
    if (currentMenu > 0) vellorinMenuAttach(currentMenu, button);
}

void glutBitmapCharacter(void* font, int character) {
    // Only Times Roman 24 is known here; like freeglut, other fonts and codes draw nothing.
    if (font != &glutBitmapTimesRoman24 || character < 1 || character > 255) return;
    drawGlyph(character, kTimesRoman24.characters[character][0]);
}

// --- events from the page ---------------------------------------------------------------------

EMSCRIPTEN_KEEPALIVE void vellorinReshape(int width, int height) {
    if (reshapeFunc != nullptr) {
        reshapeFunc(width, height);
    } else {
        glViewport(0, 0, width, height);  // GLUT's default reshape
    }
    redisplayPosted = true;
}

// One animation frame: the idle callback if there is one, else a posted redisplay.
EMSCRIPTEN_KEEPALIVE void vellorinFrame() {
    if (idleFunc != nullptr) {
        idleFunc();
    } else if (redisplayPosted && displayFunc != nullptr) {
        redisplayPosted = false;
        displayFunc();
    }
    if (const int changed = narrateFrame(emscripten_get_now()))
        vellorinNarrationShow((changed & kNarrationView) != 0, (changed & kNarrationMessages) != 0);
}

EMSCRIPTEN_KEEPALIVE void vellorinKey(int key, int x, int y) {
    if (keyboardFunc != nullptr) keyboardFunc(static_cast<unsigned char>(key), x, y);
    narrateKey(static_cast<unsigned char>(key), emscripten_get_now());
}

EMSCRIPTEN_KEEPALIVE void vellorinSpecialKey(int key, int x, int y) {
    if (specialFunc != nullptr) specialFunc(key, x, y);
    narrateSpecialKey(key, emscripten_get_now());
}

EMSCRIPTEN_KEEPALIVE void vellorinMenuPick(int menu, int value) {
    if (menu > 0 && menu < static_cast<int>(menuHandlers.size()) && menuHandlers[menu] != nullptr) {
        menuHandlers[menu](value);
    }
    narrateMenuPick(value, emscripten_get_now());
}
