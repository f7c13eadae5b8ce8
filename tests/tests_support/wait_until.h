#pragma once

#include <chrono>
#include <thread>

namespace norvale::test {

// A bounded wait for a condition that polls; false when the time is up.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace norvale::test
