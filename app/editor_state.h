// The shared editor state: camera, projection, movement flags, the patch's transform and the
// pending reset. The shell, the scene drawing, the input handlers and the control grid all read it.
#pragma once

#include "surface/surface.h"

// Axes the patch can be rotated about. The paired names mean the diagonal of that plane.
enum RotationAxis { AXIS_ZZ, AXIS_YY, AXIS_XX, AXIS_XZ, AXIS_YZ, AXIS_XY };

// The (unnormalised) axis vector handed to glRotatef for an axis choice.
struct AxisVector {
    float x, y, z;
};
AxisVector axisVector(RotationAxis axis);

struct PatchTranslation {
    float tx, ty, tz;
};

struct EditorState {
    bool resetPending;  // a full reset is due at the next frame
    int windowWidth;
    int windowHeight;
    double aspect;
    double fovY;
    double zNear;
    double zFar;
    Vec3d eye;
    Vec3d center;
    RotationAxis rotationAxis;
    float rotationAngle;  // degrees, unbounded
    PatchTranslation translation;
    bool rotationMode;     // "+"/"-" turn the patch
    bool translationMode;  // "+"/"-" move the patch along its z
    bool xMove;
    bool yMove;
    bool zMove;
};

// The one editor state of the program.
extern EditorState editorState;

// Puts the view and editing values back to their start values (the state half of "Reset").
void resetEditorState();
