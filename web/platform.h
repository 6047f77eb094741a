// The web platform's two halves: the C++ GL and GLUT entry points the program calls, and the
// page's JavaScript that owns the canvas, WebGL 2, the menus and the keys (web/window.js,
// canvas_size.js, draw.js, glyphs.js, menus.js, input.js).
#pragma once

extern "C" {
// --- implemented in the page's JavaScript (web/*.js) ------------------------------------------
// WebGL 2 on the page's canvas, created for the window (w x h pixels, cp1252 title).
void vellorinCreateWindow(int width, int height, const char* title);
void vellorinClear(int color, int depth, float r, float g, float b, float clearDepth);
void vellorinDepthTest(int enabled, int func);
void vellorinViewport(int x, int y, int width, int height);
// Draws `count` vertices of kVertexFloats floats each (see below), in `runCount` runs given as
// pairs of ints: the run's first vertex and its kind (kRunPoints, kRunLines, kRunGlyphs); a run
// ends where the next begins.
void vellorinDraw(const float* vertices, int count, const int* runs, int runCount);
// The browser's name of a key (ASCII), with GLUT's code for it: special (1) for the special
// callback, else the character the keyboard callback gets.
void vellorinKeyName(const char* name, int code, int special);
// GLUT's numbers for the browser's main, middle and secondary mouse buttons.
void vellorinMouseButtons(int main, int middle, int secondary);
// The bitmap font the glyph vertices below name: `height` rows, origin (xorig, yorig), and per
// character code its advance then its rows (web/font.h). The page makes its glyph texture from it.
void vellorinBitmapFont(int height, float xorig, float yorig, const unsigned char* const* characters);
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

// Every vertex handed to vellorinDraw: clip-space x, y, z, w; colour r, g, b, each one of the
// window's 256 levels over 255; point size in pixels (0 for lines). A bitmap character among the
// points is a glyph vertex: the raster position's window x and y (lifted by 0.0001, as a desktop
// GL does before it floors them), its normalised-device z, the advance of the characters drawn
// since it was set (font pixels); its colour; minus the character code in place of the size.
constexpr int kVertexFloats = 8;
// The kinds of run: points, lines, and points among which are glyph vertices.
constexpr int kRunPoints = 0;
constexpr int kRunLines = 1;
constexpr int kRunGlyphs = 2;

// Draws what the frame gathered so far; glutSwapBuffers ends every frame with it.
void flushVertices();
// A bitmap character at the raster position, which then moves `advance` font pixels right.
void drawGlyph(int character, float advance);
