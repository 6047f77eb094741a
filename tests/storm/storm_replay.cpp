// Replays a storm seed up to a given event and prints the events leading to it, with the state of
// the grid and modes after each, to see how a reported failure came about.
//   storm_replay SEED LAST [SHOWN]   prints events LAST-SHOWN+1 .. LAST (SHOWN defaults to 40)
#include <cstdio>
#include <cstdlib>

#include "app/editor_state.h"
#include "storm_run.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SEED LAST [SHOWN]\n", argv[0]);
        return 2;
    }
    const uint32_t seed = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 0));
    const long last = std::strtol(argv[2], nullptr, 0);
    const long shown = argc > 3 ? std::strtol(argv[3], nullptr, 0) : 40;
    const StormResult r = runStorm(seed, last + 1, [&](long i, const Event& e) {
        if (i > last - shown) std::printf("%8ld  %s\n", i, describeEvent(e).c_str());
    });
    const EditorState& s = editorState;
    const ControlGrid& g = controlGrid;
    std::printf("after event %ld: grid %d x %d, selected (%d, %d), axis %d, modes r%d t%d, "
                "moves x%d y%d z%d\n  eye (%.17g, %.17g, %.17g)\n  center (%.17g, %.17g, %.17g)\n",
                r.events - 1, g.rows, g.cols, g.selectedRow, g.selectedCol, s.rotationAxis,
                s.rotationMode, s.translationMode, s.xMove, s.yMove, s.zMove, s.eye.x, s.eye.y,
                s.eye.z, s.center.x, s.center.y, s.center.z);
    if (r.failedAt >= 0) {
        std::printf("FAILED at event %ld (%s): %s\n", r.failedAt, describeEvent(r.failedEvent).c_str(),
                    r.what.c_str());
        return 1;
    }
    std::printf("all invariants held; worst center - eye error %g\n", r.worstDrift);
    return 0;
}
