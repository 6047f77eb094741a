// The editor state record and its reset.
#include "app/editor_state.h"

namespace {
constexpr Vec3d kStartEye{900.0, 900.0, 350.0};
constexpr Vec3d kStartCenter{0.0, 0.0, 2.0};
}  // namespace

EditorState editorState = {
    true,  // resetPending: the first frame builds the grid
    900, 700, 1.0,
    35.0, 1.0, 20000.0,
    kStartEye, kStartCenter,
    AXIS_XY, 0.0f, {0.0f, 0.0f, 0.0f},
    false, false,
    false, false, false,
};

AxisVector axisVector(RotationAxis axis) {
    switch (axis) {
    case AXIS_ZZ: return {0, 0, 1};
    case AXIS_YY: return {0, 1, 0};
    case AXIS_XX: return {1, 0, 0};
    case AXIS_XZ: return {1, 0, 1};
    case AXIS_YZ: return {0, 1, 1};
    case AXIS_XY: return {1, 1, 0};
    }
    return {1, 1, 0};
}

void resetEditorState() {
    EditorState& s = editorState;
    s.rotationAngle = 0.0f;
    s.translation = {0.0f, 0.0f, 0.0f};
    s.zMove = s.xMove = s.yMove = false;
    s.rotationMode = false;
    s.translationMode = false;
    s.eye = kStartEye;
    s.center = kStartCenter;
}
