// Input events for the robustness runs: a byte string decoded into calls of the editor's own
// callbacks. The random storm and the fuzzer share this decoder, so an input either one finds can be
// replayed by the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class EventKind {
    Key,        // onKeyboard(a, b, c)
    Special,    // onSpecialKey(a, b, c)
    RowsMenu,   // onRowsMenu(a)
    ColsMenu,   // onColsMenu(a)
    PointMenu,  // onPointMenu(a)
    AxisMenu,   // onAxisMenu(a)
    InfoMenu,   // onInfoMenu(a)
    MainMenu,   // onMainMenu(a); never "Sair", which ends the process
    Reshape,    // reshape(a, b)
    Display,    // display()
    Idle,       // idle()
};

struct Event {
    EventKind kind;
    int a = 0;
    int b = 0;
    int c = 0;
};

// The value of "Sair" in the main menu. The decoder never hands it to onMainMenu.
constexpr int kQuitMenuValue = 4;

// The longest encoding of one event, in bytes.
constexpr size_t kMaxEventBytes = 11;  // a reshape with two raw sizes

// Decodes the event at the start of data. Returns the bytes it used, or 0 when too few are left.
size_t decodeEvent(const uint8_t* data, size_t size, Event& out);
// Hands the event to the editor callback it names.
void dispatchEvent(const Event& e);
// One line naming the event, for failure reports.
std::string describeEvent(const Event& e);
