// What a desktop ties a window to its launcher and icon by. freeglut names its X window and
// nothing more, so a dock or task bar cannot match the editor's window to its desktop entry and
// shows a generic icon beside the launcher's.
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <vector>

#include "app/app.h"
#include "x11/window_icon.h"

#ifndef VELLORIN_WM_CLASS
#error "VELLORIN_WM_CLASS must be the desktop entry's StartupWMClass"
#endif

namespace {

void setCardinals(Display* display, Window window, const char* property, const std::vector<unsigned long>& values) {
    // Xlib takes format-32 property data as an array of long, whatever the width of long.
    XChangeProperty(display, window, XInternAtom(display, property, False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
}

}  // namespace

void tagWindow() {
    // The window GLUT has just made is current for GLX; its drawable is the X window itself.
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable window = glXGetCurrentDrawable();
    if (display == nullptr || window == None) return;  // no X server behind GLUT: nothing to tag

    char instance[] = "vellorin";
    char windowClass[] = VELLORIN_WM_CLASS;
    XClassHint hint;
    hint.res_name = instance;
    hint.res_class = windowClass;
    XSetClassHint(display, window, &hint);
    setCardinals(display, window, "_NET_WM_PID", {static_cast<unsigned long>(getpid())});
    setCardinals(display, window, "_NET_WM_ICON", std::vector<unsigned long>(kWindowIcon, kWindowIcon + kWindowIconLength));
    XFlush(display);
}
