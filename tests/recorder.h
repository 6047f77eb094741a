// Recording stand-in for the GL, GLU and GLUT entry points the editor uses. Tests link it instead
// of the real libraries: every call is kept with its arguments, and the callbacks and menus that
// GLUT would own are kept so tests can drive them. Asked for GLX's current display, it has none.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct GlCall {
    std::string fn;            // entry point name, e.g. "glVertex3f"
    std::vector<double> args;  // numeric arguments, widened exactly to double
    std::string text;          // string argument (window title, menu label), if any
    const void* ptr = nullptr; // pointer argument (bitmap font), if any
};

struct RecordedMenuItem {
    std::string label;
    int value;     // entry value, or submenu id
    bool submenu;
};

inline bool operator==(const RecordedMenuItem& a, const RecordedMenuItem& b) {
    return a.label == b.label && a.value == b.value && a.submenu == b.submenu;
}

inline std::ostream& operator<<(std::ostream& os, const RecordedMenuItem& m) {
    return os << (m.submenu ? "submenu " : "entry ") << '"' << m.label << "\" " << m.value;
}

struct RecordedMenu {
    void (*handler)(int);
    std::vector<RecordedMenuItem> items;
};

struct GlRecord {
    std::vector<GlCall> calls;
    // Callbacks as GLUT would hold them.
    void (*display)() = nullptr;
    void (*reshape)(int, int) = nullptr;
    void (*keyboard)(unsigned char, int, int) = nullptr;
    void (*special)(int, int, int) = nullptr;
    void (*idle)() = nullptr;
    // Menus by id (id = index + 1), the current menu, and what is attached to which button.
    std::vector<RecordedMenu> menus;
    int currentMenu = 0;
    int attachedButton = -1;
    int attachedMenu = 0;
    std::vector<std::string> initArgs;  // argv as glutInit saw it
};

// The one record of the stand-in.
extern GlRecord glRecord;

// Forgets all calls, callbacks and menus.
void resetRecord();
// Calls only, from a given index on, filtered by name (all names when fn is empty).
std::vector<GlCall> callsNamed(const std::string& fn, size_t from = 0);
// Number of calls with that name.
size_t countCalls(const std::string& fn);
// Names of all calls, in order, from a given index on.
std::vector<std::string> callNames(size_t from = 0);
