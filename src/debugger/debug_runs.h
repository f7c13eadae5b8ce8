#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/window_win32.h"
#include "debugger/debug_process_thread.h"
#include "debugger/process_form.h"

namespace norvale {

// The process's debugging runs, each a window in the host's frame and the
// thread behind it. Made and used on the main thread; only `RequestAttach`
// may come from another. At the end every thread is stopped and waited for
// before any window goes, so no thread ever reaches a destroyed window.
class TDebugRuns final : public TWindow {
public:
    explicit TDebugRuns(IProcessWindowHost& host);
    ~TDebugRuns() override;

    // Failures (the window cannot be made) raise to the caller.
    void Spawn(const std::string& programPath);
    void Attach(uint32_t processId);

    // From any thread: the run is started on the main thread, whose window
    // it is. The caller hears nothing of how it goes.
    void RequestAttach(uint32_t processId);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct TRun {
        std::unique_ptr<TProcessForm> form;
        std::unique_ptr<TDebugProcessThread> thread;
    };
    TProcessForm& AddWindow(const std::string& captionArgument);
    void Remove(const TProcessForm* form);

    IProcessWindowHost& host_;
    std::vector<TRun> runs_;
};

}  // namespace norvale
