// The page's account of the edit, from the program's two records (see web/narration.h).
#include "web/narration.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/editor_state.h"
#include "input/input.h"
#include "surface/surface.h"

// The page's script calls the readers below by name; `used` keeps them in the module.
#define NARRATION_READER extern "C" __attribute__((used))

namespace {
constexpr int kSide = 4;                  // the largest grid the menus offer, 4 x 4
constexpr unsigned char kPlus = '+';
constexpr unsigned char kMinus = '-';

// What a message is about. A message's kind is the set of its parts (and the point it moved), so
// only a repeat of the same edit replaces a waiting message.
enum Part : unsigned {
    kReset = 1u << 0,
    kGrid = 1u << 1,
    kAxis = 1u << 2,
    kRotationMode = 1u << 3,
    kTranslationMode = 1u << 4,
    kMoveX = 1u << 5,
    kMoveY = 1u << 6,
    kMoveZ = 1u << 7,
    kSelection = 1u << 8,
    kMoved = 1u << 9,
    kAngle = 1u << 10,
    kTz = 1u << 11,
    kCamera = 1u << 12,
    kNothingToMove = 1u << 13,
};

// Bits of Seen::switches: the movement flags and modes (as the key pad shows them), then the
// pending reset.
constexpr int kSwitchX = 1, kSwitchY = 2, kSwitchZ = 4, kSwitchRotation = 8, kSwitchTranslation = 16;
constexpr int kSwitchReset = 32;

// The state a listener is told about, compared whole with memcmp after every event and frame: its
// members leave no padding between or after them.
struct Seen {
    Vec3d points[kSide][kSide];  // base + offset, active or not
    Vec3d eye;
    Vec3d center;
    int rows;
    int cols;
    int selectedRow;
    int selectedCol;
    int axis;
    int switches;
    float angle;
    float tz;
};
static_assert(sizeof(Seen) == (kSide * kSide + 2) * sizeof(Vec3d) + 6 * sizeof(int) + 2 * sizeof(float),
              "Seen has padding, which memcmp would compare");

Seen take() {
    Seen s;
    for (int i = 0; i < kSide; ++i) {
        for (int j = 0; j < kSide; ++j) s.points[i][j] = controlPoint(i, j);
    }
    const EditorState& e = editorState;
    s.eye = e.eye;
    s.center = e.center;
    s.rows = controlGrid.rows;
    s.cols = controlGrid.cols;
    s.selectedRow = controlGrid.selectedRow;
    s.selectedCol = controlGrid.selectedCol;
    s.axis = e.rotationAxis;
    s.switches = (e.xMove ? kSwitchX : 0) | (e.yMove ? kSwitchY : 0) | (e.zMove ? kSwitchZ : 0) |
                 (e.rotationMode ? kSwitchRotation : 0) | (e.translationMode ? kSwitchTranslation : 0) |
                 (e.resetPending ? kSwitchReset : 0);
    s.angle = e.rotationAngle;
    s.tz = e.translation.tz;
    return s;
}

bool on(const Seen& s, int bit) { return (s.switches & bit) != 0; }

struct Message {
    std::string text;
    unsigned kind;
};

struct Narrator {
    bool started = false;  // a frame has been seen
    Seen seen{};
    bool viewChanged = false;
    bool waiting = false;
    Message pending;
    double lastEvent = 0.0;
    std::vector<std::string> ready;
    std::string out;  // what the last reader returned
};
Narrator narrator;

// A coordinate as the program holds it, to two decimals at most and with the decimal comma of
// Portuguese: 100, 913,64, -5.
std::string number(double v) {
    double r = std::round(v * 100.0) / 100.0;
    if (r == 0.0) r = 0.0;  // no "-0"
    char buf[400];          // wide enough for any double in %.2f
    std::snprintf(buf, sizeof buf, "%.2f", r);
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    for (char& c : s) {
        if (c == '.') c = ',';
    }
    return s;
}

// x, y and z apart by semicolons, as the commas are decimal commas.
std::string coordinates(const Vec3d& p) {
    return "x " + number(p.x) + "; y " + number(p.y) + "; z " + number(p.z);
}

std::string letter(int row, int col) { return controlGrid.labels[row * kSide + col]; }

bool active(const Seen& s, int row, int col) { return row < s.rows && col < s.cols; }

std::string count(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

const char* axisName(int axis) {
    static const char* const names[] = {"eixo dos ZZ", "eixo dos YY", "eixo dos XX",
                                        "eixo dos XZ", "eixo dos YZ", "eixo dos XY"};
    return axis >= 0 && axis < 6 ? names[axis] : "";
}

const char* onOff(bool on) { return on ? "ligado" : "desligado"; }

struct Composer {
    std::string text;
    unsigned kind = 0;
    void add(unsigned part, const std::string& sentence) {
        if (!text.empty()) text += ' ';
        text += sentence;
        kind |= part;
    }
};

// What an event did, from the state before and after it. `asked`: parts the event chose, said
// even when it chose what was already so (the point already selected, the same axis).
Message compose(const Seen& a, const Seen& b, unsigned asked, bool step) {
    Composer m;
    if ((asked & kGrid) || a.rows != b.rows || a.cols != b.cols) {
        m.add(kGrid, "Grelha de " + count(b.rows, "linha", "linhas") + " por " +
                         count(b.cols, "coluna", "colunas") + ".");
    }
    if ((asked & kAxis) || a.axis != b.axis) m.add(kAxis, std::string("Eixo de rota\xe7\xe3o: ") + axisName(b.axis) + ".");
    const int flipped = a.switches ^ b.switches;
    if (flipped & kSwitchRotation) {
        const bool rotating = on(b, kSwitchRotation);
        m.add(kRotationMode, std::string("Modo de rota\xe7\xe3o ") + onOff(rotating) +
                                 (rotating ? std::string(", em torno do ") + axisName(b.axis) : "") + ".");
    }
    if (flipped & kSwitchTranslation) {
        m.add(kTranslationMode, std::string("Modo de transla\xe7\xe3o ") + onOff(on(b, kSwitchTranslation)) + ".");
    }
    static const char* const axes[] = {"x", "y", "z"};
    for (int k = 0; k < 3; ++k) {
        if (flipped & (kSwitchX << k)) {
            m.add(kMoveX << k, std::string("Movimento em ") + axes[k] + " " + onOff(on(b, kSwitchX << k)) + ".");
        }
    }
    if ((asked & kSelection) || a.selectedRow != b.selectedRow || a.selectedCol != b.selectedCol) {
        if (b.selectedRow < 0 || b.selectedCol < 0) {
            m.add(kSelection, "Nenhum ponto selecionado.");
        } else {
            m.add(kSelection, "Ponto " + letter(b.selectedRow, b.selectedCol) + " selecionado: linha " +
                                  std::to_string(b.selectedRow) + ", coluna " + std::to_string(b.selectedCol) +
                                  (active(b, b.selectedRow, b.selectedCol) ? "" : " (fora da grelha ativa)") + ".");
        }
    }
    for (int i = 0; i < kSide; ++i) {
        for (int j = 0; j < kSide; ++j) {
            const Vec3d& p = a.points[i][j];
            const Vec3d& q = b.points[i][j];
            if (p.x == q.x && p.y == q.y && p.z == q.z) continue;
            // A hidden point keeps its edit for when the grid grows: its offset is what it has.
            const unsigned kind = kMoved | static_cast<unsigned>(i * kSide + j) << 16;
            if (active(b, i, j)) {
                m.add(kind, "Ponto " + letter(i, j) + " movido para " + coordinates(q) + ".");
            } else {
                m.add(kind, "Ponto " + letter(i, j) + " movido, fora da grelha ativa: desvio " +
                                coordinates(controlGrid.offset[i][j]) + ".");
            }
        }
    }
    if (a.angle != b.angle) {
        m.add(kAngle, std::string("Rota\xe7\xe3o da superf\xed" "cie: ") + number(b.angle) + " graus em torno do " +
                          axisName(b.axis) + ".");
    }
    if (a.tz != b.tz) m.add(kTz, std::string("Transla\xe7\xe3o da superf\xed" "cie: tz ") + number(b.tz) + ".");
    if (std::memcmp(&a.eye, &b.eye, sizeof a.eye) != 0 || std::memcmp(&a.center, &b.center, sizeof a.center) != 0) {
        m.add(kCamera, std::string("C\xe2mara movida para ") + coordinates(b.eye) + ".");
    }
    // "+" or "-" that moved nothing while editing points: say what is missing.
    if (step && m.kind == 0 && !on(b, kSwitchRotation | kSwitchTranslation)) {
        m.add(kNothingToMove, b.selectedRow < 0 || b.selectedCol < 0
                                  ? "Nada a mover: nenhum ponto selecionado."
                                  : "Nada a mover: nenhum movimento ligado (teclas x, y e z).");
    }
    return {m.text, m.kind};
}

constexpr const char* kResetDone =
    "Reset: pontos de controlo na posi\xe7\xe3o inicial, sem rota\xe7\xe3o nem transla\xe7\xe3o, modos e "
    "movimentos desligados, c\xe2mara na posi\xe7\xe3o inicial.";

void queue(Message m, double now) {
    Narrator& n = narrator;
    n.lastEvent = now;
    if (m.kind == 0) return;
    if (n.waiting && n.pending.kind != m.kind) n.ready.push_back(n.pending.text);
    n.pending = std::move(m);
    n.waiting = true;
}

void narrate(unsigned asked, bool step, double now) {
    Narrator& n = narrator;
    if (!n.started) return;  // the first frame sets the scene; nothing is said before it
    const Seen after = take();
    const bool changed = std::memcmp(&n.seen, &after, sizeof after) != 0;
    const Message m = changed || asked || step ? compose(n.seen, after, asked, step) : Message{};
    n.viewChanged |= changed;
    n.seen = after;
    queue(m, now);
}

bool within(int value, int first, int count) { return value >= first && value < first + count; }

const char* reply(std::string s) {
    narrator.out = std::move(s);
    return narrator.out.c_str();
}
}  // namespace

void narrateKey(unsigned char key, double now) {
    unsigned asked = 0;
    for (const char* label : controlGrid.labels) {  // a point's letter is the key that selects it
        if (label[0] == static_cast<char>(key) && label[1] == '\0') asked = kSelection;
    }
    narrate(asked, key == kPlus || key == kMinus, now);
}

void narrateSpecialKey(int /*key: the camera's move is read from the state*/, double now) {
    narrate(0, false, now);
}

// Picks of the grid, a point or an axis are said even when they change nothing; the menu's value
// ranges tell them apart.
void narrateMenuPick(int value, double now) {
    const unsigned asked = within(value, kRowsMenuFirst, kSide) || within(value, kColsMenuFirst, kSide) ? kGrid
                           : within(value, kPointMenuFirst, kLabelCount)                               ? kSelection
                           : within(value, kAxisMenuFirst, kAxisMenuCount)                             ? kAxis
                                                                                                       : 0u;
    narrate(asked, false, now);
}

int narrateFrame(double now) {
    Narrator& n = narrator;
    if (!n.started) {
        n.started = true;
        n.seen = take();
        return kNarrationView;
    }
    const Seen after = take();
    if (std::memcmp(&n.seen, &after, sizeof after) != 0) {
        // A frame changes the records only through a pending reset, or by laying out the base of
        // points the grid has just shown.
        if (on(n.seen, kSwitchReset) && !on(after, kSwitchReset)) queue({kResetDone, kReset}, now);
        n.seen = after;
        n.viewChanged = true;
    }
    if (n.waiting && now - n.lastEvent >= kNarrationQuietMs) {
        n.ready.push_back(n.pending.text);
        n.waiting = false;
    }
    const int changed = (n.viewChanged ? kNarrationView : 0) | (n.ready.empty() ? 0 : kNarrationMessages);
    n.viewChanged = false;
    return changed;
}

void narrationRestart() { narrator = Narrator{}; }

NARRATION_READER int vellorinNarrationRows() { return narrator.seen.rows; }
NARRATION_READER int vellorinNarrationCols() { return narrator.seen.cols; }

NARRATION_READER const char* vellorinNarrationCaption() {
    return "Pontos de controlo ativos: letra, x, y e z (base + desvio)";
}

NARRATION_READER const char* vellorinNarrationRowHeader(int row) { return reply("Linha " + std::to_string(row)); }
NARRATION_READER const char* vellorinNarrationColumnHeader(int col) {
    return reply("Coluna " + std::to_string(col));
}

NARRATION_READER const char* vellorinNarrationCell(int row, int col) {
    if (row < 0 || col < 0 || row >= kSide || col >= kSide) return "";
    const Vec3d& p = narrator.seen.points[row][col];
    return reply(letter(row, col) + "\nx " + number(p.x) + "\ny " + number(p.y) + "\nz " + number(p.z));
}

NARRATION_READER int vellorinNarrationToggles() {
    return narrator.seen.switches & (kSwitchX | kSwitchY | kSwitchZ | kSwitchRotation | kSwitchTranslation);
}

NARRATION_READER int vellorinNarrationSelected() {
    const Seen& s = narrator.seen;
    return s.selectedRow < 0 || s.selectedCol < 0 ? -1 : s.selectedRow * kSide + s.selectedCol;
}

NARRATION_READER int vellorinNarrationToggled(int key) {
    const int bit = key == 'x' ? kSwitchX : key == 'y' ? kSwitchY : key == 'z' ? kSwitchZ
                  : key == 'r' ? kSwitchRotation : key == 't' ? kSwitchTranslation : 0;
    return (narrator.seen.switches & bit) != 0 ? 1 : 0;
}

NARRATION_READER int vellorinNarrationSelectedRow() { return vellorinNarrationSelected() < 0 ? -1 : narrator.seen.selectedRow; }
NARRATION_READER int vellorinNarrationSelectedCol() { return vellorinNarrationSelected() < 0 ? -1 : narrator.seen.selectedCol; }

NARRATION_READER const char* vellorinNarrationTakeMessages() {
    std::string all;
    for (const std::string& m : narrator.ready) all += (all.empty() ? "" : "\n") + m;
    narrator.ready.clear();
    return reply(all);
}
