// A reproducible event storm: a seed gives a byte stream, the stream gives the events, and every
// event is followed by the invariant check.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "checker.h"
#include "events.h"

struct StormResult {
    long events = 0;        // events run, including a failing one
    long failedAt = -1;     // index of the first event after which an invariant broke, or -1
    Event failedEvent{};
    std::string what;       // the broken invariant
    double worstDrift = 0;  // largest center - eye error seen
};

// Runs events 0 .. count-1 of the stream of seed from the start state, stopping at the first broken
// invariant. observe, if given, sees every event before it runs.
StormResult runStorm(uint32_t seed, long count,
                     const std::function<void(long, const Event&)>& observe = nullptr);
