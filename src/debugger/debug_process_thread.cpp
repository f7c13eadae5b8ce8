#include "debugger/debug_process_thread.h"

#include <windows.h>

#include <utility>

#include "common/ansi_text.h"
#include "common/call_profile.h"
#include "common/text.h"
#include "common/utf8_text.h"
#include "common/win32_resources.h"
#include "debugger/crash_dump_win32.h"
#include "debugger/crash_report.h"
#include "debugger/debug_event_win32.h"
#include "debugger/debug_wait.h"
#include "debugger/debuggee_processes.h"
#include "debugger/exception_stack.h"
#include "debugger/exception_stack_win32.h"
#include "debugger/process_view_model.h"

namespace norvale {

namespace {

// How often a thread that waits for a debug event looks whether it is to
// stop.
constexpr DWORD kStopCheckInterval = 100;
static_assert(kWaitTimedOut == ERROR_SEM_TIMEOUT);

// The file handles that some events carry belong to the debugger.
void CloseEventFile(const DEBUG_EVENT& event) {
    HANDLE file = nullptr;
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) file = event.u.CreateProcessInfo.hFile;
    if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) file = event.u.LoadDll.hFile;
    if (file != nullptr && file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

std::wstring ImagePathOf(const DebugEventCopy& copy) {
    return copy.event.unicode != 0 ? copy.texts.wideImageName : AnsiToWide(copy.texts.imageName);
}

// Each process's modules as they come and go, with the event's file, which
// is closed right after.
void KeepSymbols(TDebuggeeSymbols& symbols, const DEBUG_EVENT& event, const DebugEventCopy& copy) {
    switch (event.dwDebugEventCode) {
    case CREATE_PROCESS_DEBUG_EVENT:
        symbols.ProcessCreated(event.dwProcessId, event.u.CreateProcessInfo.hProcess,
                               event.u.CreateProcessInfo.hFile, copy.event.baseOfImage, ImagePathOf(copy));
        break;
    case LOAD_DLL_DEBUG_EVENT:
        symbols.ModuleLoaded(event.dwProcessId, event.u.LoadDll.hFile, copy.event.baseOfDll, ImagePathOf(copy));
        break;
    case UNLOAD_DLL_DEBUG_EVENT: symbols.ModuleUnloaded(event.dwProcessId, copy.event.baseOfDll); break;
    default: break;
    }
}

}  // namespace

TDebugProcessThread::TDebugProcessThread(std::shared_ptr<TDebugEventHandOver> handOver, std::string programPath,
                                         uint32_t processId)
    : handOver_(std::move(handOver)), programPath_(std::move(programPath)), processId_(processId) {
    thread_ = std::thread([this] { Execute(); });
}

std::unique_ptr<TDebugProcessThread> TDebugProcessThread::CreateForSpawn(
    std::shared_ptr<TDebugEventHandOver> handOver, std::string programPath) {
    return std::unique_ptr<TDebugProcessThread>(new TDebugProcessThread(std::move(handOver), std::move(programPath), 0));
}

std::unique_ptr<TDebugProcessThread> TDebugProcessThread::CreateForAttach(
    std::shared_ptr<TDebugEventHandOver> handOver, uint32_t processId) {
    return std::unique_ptr<TDebugProcessThread>(new TDebugProcessThread(std::move(handOver), {}, processId));
}

TDebugProcessThread::~TDebugProcessThread() {
    handOver_->Stop();
    if (thread_.joinable()) thread_.join();
}

void TDebugProcessThread::Execute() {
    // The debugging calls belong to this thread: the platform delivers the
    // events only to the thread that started or attached to the debuggee.
    UniqueHandle process;
    DWORD processId = processId_;
    if (processId_ != 0) {
        process.reset(OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId_));
        if (!DebugActiveProcess(processId_)) process.reset();
    } else {
        STARTUPINFOA startup{};
        GetStartupInfoA(&startup);
        std::string commandLine = programPath_ + " /debug";
        PROCESS_INFORMATION created{};
        if (CreateProcessA(programPath_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DEBUG_PROCESS, nullptr,
                           nullptr, &startup, &created)) {
            UniqueHandle thread(created.hThread);
            process.reset(created.hProcess);
            processId = created.dwProcessId;
        }
    }
    // A run that could not start or attach ends here: its window shows
    // " - Terminated" with nothing in it.
    if (process) DebugLoop(process.get(), processId);
    handOver_->SetTerminated();
}

void TDebugProcessThread::DebugLoop(HANDLE process, uint32_t processId) {
    TDebuggeeProcesses processes(processId, DebuggeeProcessOf(process));
    TDebuggeeSymbols symbols;
    const DebugRunSettings settings = handOver_->RunSettings();
    for (;;) {
        DEBUG_EVENT event{};
        bool received = false;
        {
            const TStageTimer timer(CallStage::DebugWait);
            received = WaitForDebugEvent(&event, kStopCheckInterval) != FALSE;
        }
        const AfterDebugWait next = DecideAfterDebugWait(
            received, [] { return GetLastError(); }, [this] { return handOver_->Stopped(); });
        if (next == AfterDebugWait::End) return;
        if (next == AfterDebugWait::WaitAgain) continue;
        DebugEventCopy copy;
        {
            const TStageTimer timer(CallStage::DebugCopy);
            copy.event = RecordOf(event);
            // The handle belongs to the platform, which closes it after the
            // process's exit event.
            if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT)
                processes.Created(event.dwProcessId, DebuggeeProcessOf(event.u.CreateProcessInfo.hProcess));
        }
        {
            // Read while the debuggee is held: once continued, it may change
            // or free what the event points at.
            const TStageTimer timer(CallStage::DebugRead);
            processes.Read(event.dwProcessId, copy);
        }
        KeepSymbols(symbols, event, copy);
        CloseEventFile(event);
        // Walked while the debuggee is held, so the stack is the one of the
        // fault.
        const bool walked = WantsStack(copy.event, settings.stackOnFirstChance);
        if (walked) copy.stack = symbols.Walk(event.dwProcessId, event.dwThreadId, copy.pointerSize);
        if (settings.dumps.onCrash && event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
            event.u.Exception.dwFirstChance == 0) {
            copy.dumpNote = WriteCrashDump(settings.dumps, event);
        }
        const DWORD status = ContinueStatusFor(copy.event);
        const bool last = processes.EndsRun(event.dwProcessId, copy.event);
        if (settings.crashReports != nullptr) {
            const std::string image = WideToUtf8(FileNameOfPath(symbols.ImagePath(event.dwProcessId)));
            if (const auto report = CrashReportOf(copy, event.dwProcessId, image, walked, last))
                settings.crashReports->Report(*report);
        }
        // Before the platform closes the process's handle, which dbghelp
        // knows the process by.
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) symbols.ProcessExited(event.dwProcessId);
        bool halted = false;
        {
            const TStageTimer timer(CallStage::DebugHandOver);
            // The decision travels with the event, so the window enables
            // Continue exactly for the events the thread holds.
            halted = handOver_->IsHaltOnEvent();
            copy.halted = halted;
            if (!handOver_->PostDebugEvent(std::move(copy))) return;
        }
        const auto saveDump = [&](const std::wstring& path) {
            DebugEventCopy note;
            note.event.code = kDebuggerNoteEvent;
            note.halted = true;
            note.dumpNote = SaveDumpNote(event, path);
            handOver_->PostDebugEvent(std::move(note));
        };
        if (halted && !handOver_->WaitForContinue(saveDump)) return;
        {
            const TStageTimer timer(CallStage::DebugContinue);
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        }
        if (last) return;
    }
}

}  // namespace norvale
