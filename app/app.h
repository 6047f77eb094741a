// Application shell: start-up, the window, the frame loop and the projection.
#pragma once

// Start-up: GLUT, the window, GL state, callbacks, menus, then the main loop.
int runEditor(int argc, char** argv);
void initRendering();
// Gives the new window what a desktop ties it to its launcher and icon by, where an X server
// stands behind GLUT (x11/); the browser and Windows have nothing to add.
#ifdef VELLORIN_X11
void tagWindow();
#else
inline void tagWindow() {}
#endif
void reshape(int w, int h);
void display();
void idle();
void drawAxes(float length);
