// libFuzzer target: the input is a byte string of events for the shared decoder. Each input starts
// the editor afresh and runs its events with the storm's invariant check after each one; a broken
// invariant aborts with the event index, so the saved crash input replays it.
#include <cstdio>
#include <cstdlib>

#include "checker.h"
#include "events.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    restartEditor();
    InvariantChecker checker;
    checker.restart();
    size_t at = 0;
    for (long index = 0;; ++index) {
        Event e;
        const size_t used = decodeEvent(data + at, size - at, e);
        if (used == 0) break;
        at += used;
        checker.before(e);
        dispatchEvent(e);
        const std::string what = checker.after(e);
        if (!what.empty()) {
            std::fprintf(stderr, "invariant broken after event %ld (%s): %s\n", index,
                         describeEvent(e).c_str(), what.c_str());
            std::abort();
        }
    }
    return 0;
}
