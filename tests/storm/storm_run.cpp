#include "storm_run.h"

#include <random>

StormResult runStorm(uint32_t seed, long count, const std::function<void(long, const Event&)>& observe) {
    // mt19937's output sequence is fixed by the C++ standard, so a seed replays on any platform.
    // Each event gets a fresh block of bytes, so event i depends only on the seed and i.
    std::mt19937 rng(seed);
    restartEditor();
    InvariantChecker checker;
    checker.restart();
    StormResult r;
    uint8_t bytes[16];
    static_assert(sizeof bytes >= kMaxEventBytes, "one block holds any event");
    for (long i = 0; i < count; ++i) {
        for (size_t k = 0; k < sizeof bytes; k += 4) {
            const uint32_t word = rng();
            for (size_t b = 0; b < 4; ++b) bytes[k + b] = static_cast<uint8_t>(word >> (8 * b));
        }
        Event e;
        decodeEvent(bytes, sizeof bytes, e);
        if (observe) observe(i, e);
        checker.before(e);
        dispatchEvent(e);
        r.what = checker.after(e);
        r.events = i + 1;
        if (!r.what.empty()) {
            r.failedAt = i;
            r.failedEvent = e;
            break;
        }
    }
    r.worstDrift = checker.worstDrift();
    return r;
}
