#include "fixture.h"

#include <cstring>

#include <GL/gl.h>

#include "input/input.h"

namespace {
const EditorState kStartEditor = editorState;
const ControlGrid kStartGrid = controlGrid;

struct ColouredVertex {
    const GlCall* colour;  // the colour in force when the vertex was given
    const GlCall* vertex;
};

// Hands each finished glBegin(mode) ... glEnd batch to pick, vertex by vertex with its colour.
template <typename Pick>
void walkBatches(const std::vector<GlCall>& calls, double mode, Pick pick) {
    const GlCall* colour = nullptr;
    std::vector<ColouredVertex> batch;
    bool inside = false;
    for (const GlCall& c : calls) {
        if (c.fn == "glColor3f") colour = &c;
        if (c.fn == "glBegin") { inside = c.args[0] == mode; batch.clear(); }
        if (inside && c.fn == "glVertex3f") batch.push_back({colour, &c});
        if (inside && c.fn == "glEnd") { pick(batch); inside = false; }
    }
}

bool hasColour(const GlCall* c, float r, float g, float b) {
    return c && c->args[0] == r && c->args[1] == g && c->args[2] == b;
}
}  // namespace

const EditorState& startEditorState() { return kStartEditor; }
const ControlGrid& startControlGrid() { return kStartGrid; }

void restoreStart() {
    editorState = kStartEditor;
    controlGrid = kStartGrid;
    resetRecord();
}

void startAndSettle() {
    display();
    resetRecord();
}

std::vector<GlCall> frameCalls() {
    const size_t from = glRecord.calls.size();
    display();
    return callsNamed("", from);
}

void pressKeys(const std::string& keys) {
    for (char k : keys) onKeyboard(static_cast<unsigned char>(k), 0, 0);
}

std::vector<GlCall> pointsInColour(const std::vector<GlCall>& calls, float r, float g, float b) {
    std::vector<GlCall> out;
    walkBatches(calls, GL_POINTS, [&](const std::vector<ColouredVertex>& v) {
        for (const ColouredVertex& p : v) if (hasColour(p.colour, r, g, b)) out.push_back(*p.vertex);
    });
    return out;
}

std::vector<std::pair<GlCall, GlCall>> segmentsInColour(const std::vector<GlCall>& calls, float r,
                                                        float g, float b) {
    std::vector<std::pair<GlCall, GlCall>> out;
    walkBatches(calls, GL_LINES, [&](const std::vector<ColouredVertex>& v) {
        for (size_t k = 0; k + 1 < v.size(); k += 2) {
            if (hasColour(v[k].colour, r, g, b)) out.emplace_back(*v[k].vertex, *v[k + 1].vertex);
        }
    });
    return out;
}

::testing::AssertionResult sameFloats(const GlCall& call, float x, float y, float z) {
    const float got[3] = {float(call.args.at(0)), float(call.args.at(1)), float(call.args.at(2))};
    const float want[3] = {x, y, z};
    if (std::memcmp(got, want, sizeof got) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << call.fn << "(" << got[0] << ", " << got[1] << ", "
                                         << got[2] << ") != (" << x << ", " << y << ", " << z << ")";
}
