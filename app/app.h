// Application shell: start-up, the window, the frame loop and the projection.
#pragma once

// Start-up: GLUT, the window, GL state, callbacks, menus, then the main loop.
int runEditor(int argc, char** argv);
void initRendering();
void reshape(int w, int h);
void display();
void idle();
void drawAxes(float length);
