#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>
#include <string>

#include "app/class_factory.h"
#include "app/console_control.h"
#include "app/object_count.h"
#include "app/start_mode.h"
#include "capture/debug_output_capture_win32.h"
#include "capture/writer_names_win32.h"
#include "forward/forwarding.h"
#include "common/background_work.h"
#include "common/mutex.h"
#include "config/config_form_win32.h"
#include "debugger/crash_dispatch.h"
#include "debugger/debug_runs.h"
#include "output/output_stage.h"
#include "output/process_outputs.h"
#include "receive/receiving.h"
#include "server/com_class.h"
#include "server/server_context.h"
#include "server/server_instance.h"
#include "server/session_registry.h"
#include "shell/main_form.h"
#include "shell/shell_prompts.h"
#include "store/trace_store.h"

namespace norvale {

// The process's parts and how they are wired. Members are declared in the
// order they must live: what clients' calls and the capture threads may still
// touch comes first and goes last.
class TNorvaleProcess {
public:
    TNorvaleProcess(StartMode mode, ITypeLib* library);
    TNorvaleProcess(const TNorvaleProcess&) = delete;
    TNorvaleProcess& operator=(const TNorvaleProcess&) = delete;

    // Offers the class, brings up the shell and runs the main thread's
    // message loop until the program ends.
    void Serve();
    // After `Serve`, before the apartment is left: capture ends with every
    // string it took dispatched, and the output file is closed.
    void EndOfProcess();

private:
    // The properties dialog once it is made, as other threads reach it:
    // sessions change on call threads under the output lock, capture on its
    // reader thread, and neither may wait; the dialog refreshes its pages on
    // its own thread.
    class TDialogLink {
    public:
        void Set(TNorvaleConfigForm* dialog);
        void RequestRefresh();

    private:
        std::mutex lock_;
        TNorvaleConfigForm* dialog_ = nullptr;
    };

    // What other threads reach of the shell while it is up, withdrawn
    // however the message loop ends.
    class TShellReach {
    public:
        TShellReach(TNorvaleProcess& process, TMainForm& mainForm, TDebugRuns& runs);
        ~TShellReach();
        TShellReach(const TShellReach&) = delete;
        TShellReach& operator=(const TShellReach&) = delete;

    private:
        TNorvaleProcess& process_;
    };

    void WireServer();
    void WireOptionsFollowers();
    TConfigFormHooks ConfigHooks();
    TShellHooks ShellHooks();
    void ShowProperties(HWND owner);
    void RunMessageLoop(TMainForm& mainForm);
    bool RequestTerminate();
    void RefreshProperties();
    // Runs `job` off the main thread; its failure is shown on the main thread.
    void OffMainThread(std::function<void()> job);

    const StartMode mode_;
    TMutex outputLock_;
    const TComClass norvaleClass_;
    const TComClass sessionClass_;
    // Before the class is offered, so that the quit of a client that comes
    // and goes at once finds the main thread's queue.
    TObjectCount objectCount_;
    // The trace window's rows belong to the process: they gather from the
    // start, whichever input dispatches them.
    TTraceStore traceStore_;
    // Outlives the outputs and capture, which hand it entries to the end.
    TForwarding forwarding_;
    std::unique_ptr<TProcessOutputs> outputs_;
    TOutputStage stage_;
    // Other machines' syslog, dispatched through the stage; it ends before
    // the stage and the outputs.
    TReceiving receiving_{stage_};
    // Ctrl+C, Ctrl+Break and the console's close end the process at once,
    // as the system ends it.
    TConsoleControl consoleControl_{[this](DWORD) {
        stage_.WriteThrough();
        return FALSE;
    }};
    TDialogLink dialog_;
    // The trace window while the shell is up: capture's changes wake it.
    std::atomic<HWND> traceWindow_{nullptr};
    TSessionRegistry registry_;
    TServerInstance instance_;
    TServerContext context_;
    // Attach requests come on call threads, also while the runs come and go.
    // A client served before the shell is up (its activation may start the
    // process) has its requests kept until the runs exist.
    std::mutex runsLock_;
    TDebugRuns* liveRuns_ = nullptr;
    std::vector<uint32_t> earlyAttaches_;
    std::atomic<bool> activated_{false};
    TSingleAutoObjectFactory factory_;
    TDebugOutputCapture capture_;
    TDebugRunsOptions runsOptions_;
    // The runs' crashes, into the outputs beside the programs' trace lines.
    TCrashDispatch crashes_{stage_, LocalComputerName()};
    // What the main thread asks that takes the output lock or the server
    // object's: the flush and the dialog's refresh.
    TBackgroundWork work_;
    // The main window while the shell is up: work's failures are shown there.
    std::atomic<HWND> mainWindow_{nullptr};
    std::unique_ptr<TNorvaleConfigForm> configForm_;
};

}  // namespace norvale
