// Byte layout of one event. The first byte picks the kind; kinds that take values read them from
// the next bytes. Each value byte either indexes a table of values worth hitting (the listed menu
// values, the arrow codes, window sizes at the edges) or, above a threshold, asks for a raw 32-bit
// value from the four bytes after it, so any int can reach any handler.
//
//   op 0..111    key        one byte: below 0x80 a command key, else the next byte is the raw key
//   op 112..143  special    one byte: an entry of kSpecialCodes, or raw int
//   op 144..239  menu       handler (op - 144) % 6, then one byte: listed value, odd value, or raw
//   op 240..254  reshape    width byte, height byte: an entry of kSizes, or raw int
//   op 255       a frame    one byte: even display, odd idle
//
// Frames are rare on purpose (one event in 256): one costs as much as thousands of key presses, and
// the state they draw is built by the other events.
#include "events.h"

#include <GL/glut.h>

#include <climits>
#include <cstdio>

#include "app/app.h"
#include "app/editor_state.h"
#include "input/input.h"

namespace {
// Keys that change something, and their upper-case forms, which must not.
constexpr char kCommandKeys[] = "qweuiopasdfghjklxyzrt+-+-+-QWEXYZRT";
constexpr size_t kCommandKeyCount = sizeof kCommandKeys - 1;

// Arrow keys (listed), the other GLUT special keys, and codes GLUT never sends.
constexpr int kSpecialCodes[] = {
    GLUT_KEY_LEFT, GLUT_KEY_RIGHT, GLUT_KEY_UP, GLUT_KEY_DOWN,
    GLUT_KEY_LEFT, GLUT_KEY_RIGHT, GLUT_KEY_UP, GLUT_KEY_DOWN,
    GLUT_KEY_F1, GLUT_KEY_F12, GLUT_KEY_PAGE_UP, GLUT_KEY_PAGE_DOWN, GLUT_KEY_HOME, GLUT_KEY_END,
    GLUT_KEY_INSERT, 0, -1, 99, 104, 255, 256, INT_MIN, INT_MAX};

// The values each menu lists, in handler order: rows, columns, point, axis, info, main.
constexpr int kRowsValues[] = {100, 101, 102, 103};
constexpr int kColsValues[] = {105, 106, 107, 108};
constexpr int kPointValues[] = {201, 202, 203, 204, 205, 206, 207, 208,
                                209, 210, 211, 212, 213, 214, 215, 216};
constexpr int kAxisValues[] = {301, 302, 303, 304, 305, 306};
constexpr int kInfoValues[] = {400, 401, 402, 403, 404, 405, 406, 407, 408, 409,
                               410, 411, 412, 413, 501, 502, 503, 504, 505, 506};
constexpr int kMainValues[] = {3};

struct ListedValues {
    const int* values;
    size_t count;
};
template <size_t N>
constexpr ListedValues listed(const int (&v)[N]) { return {v, N}; }
constexpr ListedValues kMenuValues[] = {listed(kRowsValues), listed(kColsValues),
                                        listed(kPointValues), listed(kAxisValues),
                                        listed(kInfoValues), listed(kMainValues)};
constexpr EventKind kMenuKinds[] = {EventKind::RowsMenu, EventKind::ColsMenu, EventKind::PointMenu,
                                    EventKind::AxisMenu, EventKind::InfoMenu, EventKind::MainMenu};

// Unlisted values next to every menu's range, and the ends of int.
constexpr int kOddMenuValues[] = {INT_MIN, INT_MAX, -1, 0, 1, 2, 3, 4, 5, 99, 104, 109,
                                  200, 217, 300, 307, 399, 414, 500, 507, 1000, -100};

// Window sizes: zero, one, negative, ordinary and huge.
constexpr int kSizes[] = {0, 1, -1, 2, 700, 900, 1280, 65535, 1 << 20, INT_MAX, INT_MIN, -700};

constexpr uint8_t kRawThreshold = 0xf0;  // value bytes from here on ask for a raw int

int rawInt(const uint8_t* p) {
    return static_cast<int>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                            static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

// Reads one value at p: a table entry (selector bytes from `first` on index the table from its
// start), or a raw int from the four bytes after a high selector. Returns the bytes used, 0 when
// the input ends first.
template <size_t N>
size_t readValue(const uint8_t* p, size_t left, const int (&table)[N], int& out, uint8_t first = 0) {
    if (left < 1) return 0;
    if (p[0] < kRawThreshold) {
        out = table[static_cast<size_t>(p[0] - first) % N];
        return 1;
    }
    if (left < 5) return 0;
    out = rawInt(p + 1);
    return 5;
}

const char* kindName(EventKind k) {
    switch (k) {
    case EventKind::Key: return "key";
    case EventKind::Special: return "special";
    case EventKind::RowsMenu: return "rows menu";
    case EventKind::ColsMenu: return "cols menu";
    case EventKind::PointMenu: return "point menu";
    case EventKind::AxisMenu: return "axis menu";
    case EventKind::InfoMenu: return "info menu";
    case EventKind::MainMenu: return "main menu";
    case EventKind::Reshape: return "reshape";
    case EventKind::Display: return "display";
    case EventKind::Idle: return "idle";
    }
    return "?";
}
}  // namespace

size_t decodeEvent(const uint8_t* data, size_t size, Event& out) {
    if (size < 1) return 0;
    const uint8_t op = data[0];
    const uint8_t* p = data + 1;
    const size_t left = size - 1;
    out = Event{};
    if (op < 112) {
        if (left < 1) return 0;
        out.kind = EventKind::Key;
        out.b = op;  // the mouse position, which the handler must ignore
        out.c = -static_cast<int>(op);
        if (p[0] < 0x80) {
            out.a = static_cast<unsigned char>(kCommandKeys[p[0] % kCommandKeyCount]);
            return 2;
        }
        if (left < 2) return 0;
        out.a = p[1];
        return 3;
    }
    if (op < 144) {
        out.kind = EventKind::Special;
        out.b = -static_cast<int>(op);
        out.c = op;
        const size_t used = readValue(p, left, kSpecialCodes, out.a);
        return used ? 1 + used : 0;
    }
    if (op < 240) {
        const int handler = (op - 144) % 6;
        out.kind = kMenuKinds[handler];
        if (left < 1) return 0;
        size_t used = 1;
        if (p[0] < 0x80) {
            const ListedValues& v = kMenuValues[handler];
            out.a = v.values[p[0] % v.count];
        } else {
            used = readValue(p, left, kOddMenuValues, out.a, 0x80);
            if (!used) return 0;
        }
        if (out.kind == EventKind::MainMenu && out.a == kQuitMenuValue) out.a = -kQuitMenuValue;
        return 1 + used;
    }
    if (op < 255) {
        out.kind = EventKind::Reshape;
        const size_t w = readValue(p, left, kSizes, out.a);
        if (!w) return 0;
        const size_t h = readValue(p + w, left - w, kSizes, out.b);
        if (!h) return 0;
        return 1 + w + h;
    }
    if (left < 1) return 0;
    out.kind = p[0] % 2 == 0 ? EventKind::Display : EventKind::Idle;
    return 2;
}

void dispatchEvent(const Event& e) {
    switch (e.kind) {
    case EventKind::Key: onKeyboard(static_cast<unsigned char>(e.a), e.b, e.c); break;
    case EventKind::Special: onSpecialKey(e.a, e.b, e.c); break;
    case EventKind::RowsMenu: onRowsMenu(e.a); break;
    case EventKind::ColsMenu: onColsMenu(e.a); break;
    case EventKind::PointMenu: onPointMenu(e.a); break;
    case EventKind::AxisMenu: onAxisMenu(e.a); break;
    case EventKind::InfoMenu: onInfoMenu(e.a); break;
    case EventKind::MainMenu:
        if (e.a != kQuitMenuValue) onMainMenu(e.a);
        break;
    case EventKind::Reshape: reshape(e.a, e.b); break;
    case EventKind::Display: display(); break;
    case EventKind::Idle: idle(); break;
    }
}

std::string describeEvent(const Event& e) {
    char buf[96];
    switch (e.kind) {
    case EventKind::Key:
        std::snprintf(buf, sizeof buf, "key 0x%02x", e.a);
        break;
    case EventKind::Reshape:
        std::snprintf(buf, sizeof buf, "reshape %d x %d", e.a, e.b);
        break;
    case EventKind::Display:
    case EventKind::Idle:
        std::snprintf(buf, sizeof buf, "%s", kindName(e.kind));
        break;
    default:
        std::snprintf(buf, sizeof buf, "%s %d", kindName(e.kind), e.a);
        break;
    }
    return buf;
}
