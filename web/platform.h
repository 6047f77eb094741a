// The web platform's two halves: the C++ GL and GLUT entry points the program calls, and the
// page's JavaScript (web/platform.js) that owns the canvas, WebGL 2, the menus and the keys.
#pragma once

extern "C" {
// --- implemented in web/platform.js --------------------------------------------------------
// WebGL 2 on the page's canvas, created for the window (w x h pixels, cp1252 title).
void vellorinCreateWindow(int width, int height, const char* title);
void vellorinClear(int color, int depth, float r, float g, float b, float clearDepth);
void vellorinDepthTest(int enabled, int func);
void vellorinViewport(int x, int y, int width, int height);
// Draws `count` vertices of kVertexFloats floats each (see below) as points (0) or lines (1).
void vellorinDraw(int lines, const float* vertices, int count);
// The raster position in window pixels (y up) and its colour; invalid positions draw no text.
void vellorinRasterPos(int valid, float x, float y, float r, float g, float b);
// One character of the 24 px serif face at the raster position, which then moves past it.
void vellorinBitmapCharacter(int character);
// Menus as the program builds them; the page shows them on the attached button.
void vellorinMenuCreate(int menu);
void vellorinMenuEntry(int menu, const char* label, int value, int submenu);
void vellorinMenuAttach(int menu, int button);
// Starts the animation-frame loop; returns at once.
void vellorinStartLoop();

// --- implemented in C++, called by the page ------------------------------------------------
void vellorinFrame();
void vellorinReshape(int width, int height);
void vellorinKey(int key, int x, int y);
void vellorinSpecialKey(int key, int x, int y);
void vellorinMenuPick(int menu, int value);
}

// Every vertex handed to vellorinDraw: clip-space x, y, z, w; colour r, g, b clamped to 0..1;
// point size in pixels (0 for lines).
constexpr int kVertexFloats = 8;

// Draws what the frame gathered so far; glutSwapBuffers ends every frame with it.
void flushVertices();
