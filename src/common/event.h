#pragma once

#include <cstdint>
#include <memory>

namespace norvale {

// An unnamed auto-reset event: one Set releases exactly one wait.
class TEvent {
public:
    TEvent();
    ~TEvent();
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void Set();
    void Wait();
    // False when the time ran out before the event was set.
    bool WaitFor(uint32_t milliseconds);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace norvale
