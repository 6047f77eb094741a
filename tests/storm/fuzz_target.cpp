// libFuzzer target: the input is a byte string of events for the shared decoder. Each input starts
// the editor afresh and runs its events with the storm's invariant check after each one; a broken
// invariant aborts with the event index, so the saved crash input replays it.
//
// A frame costs as much as thousands of other events, and mutations readily repeat the frame
// byte, so only the first few frames of an input are drawn; one more frame after the last event
// always draws the state the input reached.
#include <cstdio>
#include <cstdlib>

#include "checker.h"
#include "events.h"

namespace {
constexpr int kFramesPerInput = 2;

void runChecked(InvariantChecker& checker, const Event& e, long index) {
    checker.before(e);
    dispatchEvent(e);
    const std::string what = checker.after(e);
    if (!what.empty()) {
        std::fprintf(stderr, "invariant broken after event %ld (%s): %s\n", index,
                     describeEvent(e).c_str(), what.c_str());
        std::abort();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    restartEditor();
    InvariantChecker checker;
    checker.restart();
    size_t at = 0;
    int frames = 0;
    long index = 0;
    for (;; ++index) {
        Event e;
        const size_t used = decodeEvent(data + at, size - at, e);
        if (used == 0) break;
        at += used;
        const bool frame = e.kind == EventKind::Display || e.kind == EventKind::Idle;
        if (frame && ++frames > kFramesPerInput) continue;
        runChecked(checker, e, index);
    }
    runChecked(checker, Event{EventKind::Display}, index);
    return 0;
}
