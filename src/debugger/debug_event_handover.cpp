#include "debugger/debug_event_handover.h"

#include <utility>

namespace norvale {

TDebugEventHandOver::TDebugEventHandOver(Wake wake) : wake_(std::move(wake)) {}

void TDebugEventHandOver::WakeIfAsleep() {
    if (!awake_ && !stopped_) awake_ = wake_();
}

bool TDebugEventHandOver::PostDebugEvent(DebugEventCopy copy) {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] { return stopped_ || waiting_.size() < kMaxWaiting; });
    if (stopped_) return false;
    waiting_.push_back(std::move(copy));
    WakeIfAsleep();
    return true;
}

bool TDebugEventHandOver::IsHaltOnEvent() const {
    std::lock_guard lock(lock_);
    return haltOnEvent_;
}

bool TDebugEventHandOver::WaitForContinue(const DumpWriter& writeDump) {
    std::unique_lock lock(lock_);
    for (;;) {
        changed_.wait(lock, [&] { return stopped_ || continuePending_ || (writeDump && dumpRequest_); });
        if (stopped_) return false;
        if (!writeDump || !dumpRequest_) break;
        const std::wstring path = std::move(*dumpRequest_);
        dumpRequest_.reset();
        // The writer hands its outcome over as an event, which takes the lock.
        lock.unlock();
        writeDump(path);
        lock.lock();
    }
    continuePending_ = false;
    return true;
}

void TDebugEventHandOver::SetTerminated() {
    std::lock_guard lock(lock_);
    terminated_ = true;
    WakeIfAsleep();
}

TDebugEventHandOver::Batch TDebugEventHandOver::Take(bool comeBack) {
    std::lock_guard lock(lock_);
    Batch batch{std::exchange(waiting_, {}), terminated_};
    awake_ = comeBack && !batch.events.empty();
    changed_.notify_all();
    return batch;
}

void TDebugEventHandOver::SetHaltOnEvent(bool down) {
    std::lock_guard lock(lock_);
    haltOnEvent_ = down;
}

void TDebugEventHandOver::Continue() {
    std::lock_guard lock(lock_);
    continuePending_ = true;
    changed_.notify_all();
}

void TDebugEventHandOver::RequestDump(std::wstring path) {
    std::lock_guard lock(lock_);
    dumpRequest_ = std::move(path);
    changed_.notify_all();
}

void TDebugEventHandOver::Stop() {
    std::lock_guard lock(lock_);
    stopped_ = true;
    changed_.notify_all();
}

bool TDebugEventHandOver::Stopped() const {
    std::lock_guard lock(lock_);
    return stopped_;
}

}  // namespace norvale
