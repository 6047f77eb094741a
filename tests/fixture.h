// Shared ground for the unit tests: both state records back at their start values, the recorder
// emptied, and short ways to run a frame or a key and look at what it drew.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <string>
#include <vector>

#include "app/app.h"
#include "app/editor_state.h"
#include "recorder.h"
#include "surface/surface.h"

// The records as the program starts, copied before any test runs.
const EditorState& startEditorState();
const ControlGrid& startControlGrid();

// Puts both records back to how the program starts and empties the recorder.
void restoreStart();
// Runs the first frame (which performs the full reset) and empties the recorder.
void startAndSettle();
// Runs one frame and returns its calls.
std::vector<GlCall> frameCalls();
// Presses each key of a string in turn.
void pressKeys(const std::string& keys);

// Vertices of GL_POINTS batches given while the colour was (r, g, b).
std::vector<GlCall> pointsInColour(const std::vector<GlCall>& calls, float r, float g, float b);
// Segments (vertex pairs) of GL_LINES batches whose first vertex was given in colour (r, g, b).
std::vector<std::pair<GlCall, GlCall>> segmentsInColour(const std::vector<GlCall>& calls, float r,
                                                        float g, float b);

// Compares a recorded float argument triple with a float triple, bit for bit.
::testing::AssertionResult sameFloats(const GlCall& call, float x, float y, float z);

class Editor : public ::testing::Test {
protected:
    void SetUp() override { restoreStart(); }
};
