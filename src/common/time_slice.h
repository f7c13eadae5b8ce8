#pragma once

// The main thread's share of a long job: it steps until the job is done or
// its time is up, so that it gets back to its messages in time. One step at
// least, so that a slow machine still gets on.

#include <chrono>

namespace norvale {

// `step` returns true once the job is done; so does this.
template <class Step>
bool StepsWithin(std::chrono::microseconds budget, Step step) {
    const auto end = std::chrono::steady_clock::now() + budget;
    bool done = step();
    while (!done && std::chrono::steady_clock::now() < end) done = step();
    return done;
}

}  // namespace norvale
