#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/window_win32.h"
#include "debugger/debug_process_thread.h"
#include "debugger/process_form.h"
#include "output/options_follower.h"

namespace norvale {

// The options of the debugging runs, as last applied. It follows the options
// for the whole process, so that the runs, which come and go with the shell,
// never join or leave the followers: the main thread would wait on the
// output lock to do so.
class TDebugRunsOptions final : public IOptionsFollower {
public:
    void ApplyOptions(const OptionsSettings& options) override {
        unicodeNames_ = options.UnicodeNames;
        stackOnFirstChance_ = options.StackOnFirstChance;
        std::lock_guard lock(dumpsLock_);
        dumps_ = CrashDumpSettingsOf(options);
    }
    bool UnicodeNames() const { return unicodeNames_.load(); }
    bool StackOnFirstChance() const { return stackOnFirstChance_.load(); }
    CrashDumpSettings Dumps() const {
        std::lock_guard lock(dumpsLock_);
        return dumps_;
    }

private:
    std::atomic<bool> unicodeNames_{false};
    std::atomic<bool> stackOnFirstChance_{false};
    mutable std::mutex dumpsLock_;
    CrashDumpSettings dumps_;
};

// The process's debugging runs, each a window in the host's frame and the
// thread behind it. Made and used on the main thread; only `RequestAttach`
// may come from another. At the end every thread is stopped and waited for
// before any window goes, so no thread ever reaches a destroyed window.
// Each run takes `UnicodeNames`, `StackOnFirstChance` and the dump options as
// they are when it starts and keeps them, so a change reaches the next run
// only.
class TDebugRuns final : public TWindow {
public:
    // How a run's thread starts: for `programPath`, or for `processId` when
    // it is not 0. Tests pass one that fails, as starting a thread can.
    using StartThread = std::function<std::unique_ptr<TDebugProcessThread>(
        std::shared_ptr<TDebugEventHandOver> handOver, const std::string& programPath, uint32_t processId)>;

    TDebugRuns(IProcessWindowHost& host, const TDebugRunsOptions& options,
               StartThread startThread = StartDebugProcessThread);
    ~TDebugRuns() override;

    // Failures (the window cannot be made, the thread cannot start) raise to
    // the caller.
    void Spawn(const std::string& programPath);
    void Attach(uint32_t processId);

    // From any thread: the run is started on the main thread, whose window
    // it is. The caller hears nothing of how it goes.
    void RequestAttach(uint32_t processId);

    // Runs started from now on tell their crashes there too, from their
    // threads; `reports` must outlive them.
    void SetCrashReports(ICrashReports* reports) { crashReports_ = reports; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct TRun {
        std::unique_ptr<TProcessForm> form;
        std::unique_ptr<TDebugProcessThread> thread;
    };
    static std::unique_ptr<TDebugProcessThread> StartDebugProcessThread(std::shared_ptr<TDebugEventHandOver> handOver,
                                                                        const std::string& programPath,
                                                                        uint32_t processId);
    void Start(const std::string& captionArgument, const std::string& programPath, uint32_t processId);
    TProcessForm& AddWindow(const std::string& captionArgument);
    void Remove(const TProcessForm* form);

    IProcessWindowHost& host_;
    const TDebugRunsOptions& options_;
    const StartThread startThread_;
    ICrashReports* crashReports_ = nullptr;
    std::vector<TRun> runs_;
};

}  // namespace norvale
