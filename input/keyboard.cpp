// Keyboard commands: a key's own action first, then the effects of whatever transform mode is on.
#include <GL/glut.h>

#include "app/editor_state.h"
#include "input/input.h"
#include "surface/surface.h"

namespace {
constexpr int kPointStep = 5;        // units a point moves per "+"/"-"
constexpr int kRotationStep = 30;    // degrees the patch turns per "+"/"-"
constexpr int kTranslationStep = 50; // units the patch moves along its z per "+"/"-"

// The selection letters in row-major order: the letter at index 4 * row + col picks (row, col).
constexpr char kPointKeys[] = "qweuiopasdfghjkl";

void clearMovement() {
    editorState.xMove = editorState.yMove = editorState.zMove = false;
}

void endModes() {
    editorState.rotationMode = false;
    editorState.translationMode = false;
}

void deselect() {
    controlGrid.selectedRow = -1;
    controlGrid.selectedCol = -1;
}

// Returns the index of a point key in kPointKeys, or -1.
int pointIndex(unsigned char key) {
    for (int k = 0; k < kLabelCount; ++k) {
        if (static_cast<unsigned char>(kPointKeys[k]) == key) return k;
    }
    return -1;
}

void applyKey(unsigned char key) {
    EditorState& s = editorState;
    switch (key) {
    case '+':
        if (!s.rotationMode && !s.translationMode) displaceSelected(+kPointStep);
        return;
    case '-':
        if (!s.rotationMode && !s.translationMode) displaceSelected(-kPointStep);
        return;
    case 'r':
        s.rotationMode = !s.rotationMode;
        clearMovement();
        return;
    case 't':
        s.translationMode = !s.translationMode;
        clearMovement();
        return;
    case 'x': endModes(); s.xMove = !s.xMove; return;
    case 'y': endModes(); s.yMove = !s.yMove; return;
    case 'z': endModes(); s.zMove = !s.zMove; return;
    default: break;
    }
    const int k = pointIndex(key);
    if (k < 0) return;
    endModes();
    controlGrid.selectedRow = k / 4;
    controlGrid.selectedCol = k % 4;
}

// Whatever mode is still on after the key's own action owns "+"/"-" and drops the point edit.
void applyModes(unsigned char key) {
    EditorState& s = editorState;
    if (s.translationMode) {
        clearMovement();
        deselect();
        if (key == '+') s.translation.tz += kTranslationStep;
        if (key == '-') s.translation.tz -= kTranslationStep;
    }
    if (s.rotationMode) {
        clearMovement();
        deselect();
        if (key == '+') s.rotationAngle += kRotationStep;
        if (key == '-') s.rotationAngle -= kRotationStep;
    }
}
}  // namespace

void onKeyboard(unsigned char key, int /*x*/, int /*y*/) {
    applyKey(key);
    applyModes(key);
    glutPostRedisplay();
}
