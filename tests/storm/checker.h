// What must hold after every event, whatever came before: the state stays in its ranges, the camera
// keeps its viewing direction, nothing drawn is NaN or infinite, and each call the event recorded is
// one the handler may make (a frame draws exactly what the active grid implies).
#pragma once

#include <string>

#include "events.h"

// Puts both editor records back to how the program starts and empties the recorder.
void restartEditor();

class InvariantChecker {
public:
    // Forgets the camera history; call after restartEditor.
    void restart();
    // Call just before dispatching the event: empties the recorder and notes what the frame may do.
    void before(const Event& e);
    // Call just after. Returns an empty string when every invariant holds, else what broke.
    std::string after(const Event& e);
    // Largest distance (any component) seen between center - eye and its start value.
    double worstDrift() const { return worstDrift_; }

private:
    long cameraMoves_ = 0;  // arrow keys since the camera was last set exactly
    double cameraMax_ = 0;  // largest |coordinate| of eye or center since then
    bool resetDue_ = false;
    double worstDrift_ = 0;
};

// The largest error center - eye can have picked up after `moves` camera steps during which no
// coordinate of eye or center exceeded `largest` in magnitude.
double cameraDriftBound(long moves, double largest);
