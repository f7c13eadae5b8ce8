#pragma once

// The hand-over of debug events from a debugger thread to its process window,
// and of the user's Continue back. Plain code: the window's side only tells
// how to wake the window (a posted message under the platform).

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "debugger/crash_dumps.h"
#include "debugger/crash_report.h"
#include "debugger/debug_event.h"

namespace norvale {

// What a run takes from its owner when it starts and keeps.
struct DebugRunSettings {
    // First-chance exceptions get their stack too.
    bool stackOnFirstChance = false;
    // Where crashes are told; none: only the window shows them.
    ICrashReports* crashReports = nullptr;
    // Where second-chance exceptions are dumped, if at all.
    CrashDumpSettings dumps{};
};

class TDebugEventHandOver {
public:
    // Wakes the window to take what waits for it; false when it could not
    // (the events stay and go with the next wake). Called under the
    // hand-over's lock, at most once until the window takes.
    using Wake = std::function<bool()>;
    // A debuggee that outruns its window is held at this many waiting
    // events until the window has taken them, so memory stays bounded and
    // nothing is dropped.
    static constexpr size_t kMaxWaiting = 10000;

    explicit TDebugEventHandOver(Wake wake);
    TDebugEventHandOver(const TDebugEventHandOver&) = delete;
    TDebugEventHandOver& operator=(const TDebugEventHandOver&) = delete;

    // The debugger thread's side.
    // False once stopped: the event is not shown and the thread should end.
    bool PostDebugEvent(DebugEventCopy copy);
    bool IsHaltOnEvent() const;
    // Set before the thread starts.
    const DebugRunSettings& RunSettings() const { return runSettings_; }
    // Writes a dump of the held event to the file the user chose. It runs on
    // the debugger thread, which owns the event, while the window goes on.
    using DumpWriter = std::function<void(const std::wstring& path)>;
    // Waits for a Continue the window has not yet consumed, also one given
    // before the wait began; false when stopped instead. Meanwhile every
    // dump asked for is written through `writeDump`, outside the lock; one
    // asked for together with the Continue is written before it.
    bool WaitForContinue(const DumpWriter& writeDump = nullptr);
    // After the last event: the window shows it once it has taken every
    // event before it.
    void SetTerminated();

    // The window's side.
    struct Batch {
        std::vector<DebugEventCopy> events;
        bool terminated = false;
    };
    // Everything that waits. With `comeBack` the window takes again by
    // itself soon, so while it finds events the thread need not wake it; a
    // take that finds none asks to be woken by the next event.
    Batch Take(bool comeBack);
    void SetHaltOnEvent(bool down);
    void SetRunSettings(const DebugRunSettings& settings) { runSettings_ = settings; }
    void Continue();
    // Only while an event is held: a request the thread has not yet taken
    // is replaced by this one.
    void RequestDump(std::wstring path);

    // The owner's side, and the window's when it goes: nothing is handed
    // over any more and every wait of the thread ends.
    void Stop();
    bool Stopped() const;

private:
    void WakeIfAsleep();

    Wake wake_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<DebugEventCopy> waiting_;
    bool haltOnEvent_ = false;
    bool continuePending_ = false;
    std::optional<std::wstring> dumpRequest_;
    bool terminated_ = false;
    bool awake_ = false;
    bool stopped_ = false;
    DebugRunSettings runSettings_;
};

}  // namespace norvale
