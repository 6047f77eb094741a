// What the page tells a learner who cannot see the picture: the active control points as a table,
// a message for what each key or menu pick did, and the state of the key pad's toggles. All of it
// is read from EditorState and ControlGrid as they stand after each event and each frame, compared
// with the state seen last. Plain C++ over the two records (no GL, no browser), so the unit tests
// run it natively; the page (web/narration.js) only shows what it is given.
//
// Messages: one per event, from what changed (a point selected, a flag or mode on or off, a point
// or the patch moved, the camera, the grid, the rotation axis), and one for a reset carried out by
// a frame. A message that has the same kind as the one still waiting (a held "+", repeated arrows)
// replaces it, so a burst says its final value once; a message of another kind sends the waiting
// one on. The last message waits until the events have rested kNarrationQuietMs.
// Texts are Portuguese in single-byte Windows-1252, as the program's own.
#pragma once

// What narrateFrame reports as changed (bits).
constexpr int kNarrationView = 1;      // the table or the key pad's toggles and selection
constexpr int kNarrationMessages = 2;  // messages are ready for the status region

// Rest after the last event before a waiting message is said: longer than the delay before a held
// key repeats (500 ms to 660 ms on common desktops), so a held key is one burst.
constexpr double kNarrationQuietMs = 700.0;

// After the program handled an event; `now` is in milliseconds of a steady clock.
void narrateKey(unsigned char key, double now);
void narrateSpecialKey(int key, double now);
void narrateMenuPick(int value, double now);
// After each frame: the bits above, 0 when nothing changed (as in nearly every frame).
int narrateFrame(double now);
// Forgets everything seen and said, as on a fresh page.
void narrationRestart();

// Read by the page after narrateFrame named a change. Strings stay valid until the next call.
extern "C" {
int vellorinNarrationRows();
int vellorinNarrationCols();
const char* vellorinNarrationCaption();
const char* vellorinNarrationRowHeader(int row);
const char* vellorinNarrationColumnHeader(int col);
// An active point, one line each: its letter, then x, y and z (base + offset).
const char* vellorinNarrationCell(int row, int col);
// The toggles that are on: 1 x, 2 y, 4 z (movement flags), 8 rotation, 16 translation mode.
int vellorinNarrationToggles();
// Whether the toggle that key `key` ("x", "y", "z", "r" or "t") switches is on: 1 or 0.
int vellorinNarrationToggled(int key);
// The selected point as 4 * row + col (its place among the point keys), or -1; its row and
// column, or -1.
int vellorinNarrationSelected();
int vellorinNarrationSelectedRow();
int vellorinNarrationSelectedCol();
// The messages ready to be said, in order, one a line; taking them empties the queue.
const char* vellorinNarrationTakeMessages();

// Implemented by the page (web/narration.js): shows what narrateFrame reported, the table and key
// pad (`view`) and the messages, each 1 when changed.
void vellorinNarrationShow(int view, int messages);
}
