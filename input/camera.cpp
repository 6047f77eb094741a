// Camera keys: the eye and the point looked at move by the same vector, so the view never turns.
#include <GL/glut.h>

#include <cmath>

#include "app/editor_state.h"
#include "input/input.h"

namespace {
constexpr double kCameraStep = 20.0;  // world units per arrow key

void moveCamera(double dx, double dy, double dz) {
    Vec3d& eye = editorState.eye;
    Vec3d& center = editorState.center;
    eye.x += dx; eye.y += dy; eye.z += dz;
    center.x += dx; center.y += dy; center.z += dz;
}
}  // namespace

void onSpecialKey(int key, int /*x*/, int /*y*/) {
    const Vec3d& eye = editorState.eye;
    const Vec3d& center = editorState.center;
    const Vec3d d{center.x - eye.x, center.y - eye.y, center.z - eye.z};
    const double len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    const Vec3d n{d.x / len, d.y / len, d.z / len};
    switch (key) {
    case GLUT_KEY_LEFT: moveCamera(-n.y * kCameraStep, n.x * kCameraStep, 0.0); break;
    case GLUT_KEY_RIGHT: moveCamera(n.y * kCameraStep, -n.x * kCameraStep, 0.0); break;
    case GLUT_KEY_UP: moveCamera(0.0, 0.0, kCameraStep); break;
    case GLUT_KEY_DOWN: moveCamera(0.0, 0.0, -kCameraStep); break;
    default: break;
    }
    glutPostRedisplay();
}
