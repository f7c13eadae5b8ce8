#include "debugger/debug_runs.h"

#include <algorithm>
#include <utility>

#include "common/text.h"

namespace norvale {

namespace {

constexpr UINT WM_ATTACH_REQUEST = WM_APP + 1;
constexpr UINT WM_WINDOW_CLOSED = WM_APP + 2;

}  // namespace

TDebugRuns::TDebugRuns(IProcessWindowHost& host, const TDebugRunsOptions& options, StartThread startThread)
    : host_(host), options_(options), startThread_(std::move(startThread)) {
    Create("TDebugRuns", 0, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr);
}

TDebugRuns::~TDebugRuns() {
    // All threads are told at once, then each is waited for.
    for (TRun& run : runs_) run.form->HandOver()->Stop();
    for (TRun& run : runs_) run.thread.reset();
    runs_.clear();
}

TProcessForm& TDebugRuns::AddWindow(const std::string& captionArgument) {
    auto form = std::make_unique<TProcessForm>(host_, captionArgument, options_.UnicodeNames(),
                                               [this](TProcessForm& closed) {
                                                   PostMessageA(Handle(), WM_WINDOW_CLOSED, 0,
                                                                reinterpret_cast<LPARAM>(&closed));
                                               });
    runs_.push_back(TRun{std::move(form), nullptr});
    return *runs_.back().form;
}

std::unique_ptr<TDebugProcessThread> TDebugRuns::StartDebugProcessThread(
    std::shared_ptr<TDebugEventHandOver> handOver, const std::string& programPath, uint32_t processId) {
    if (processId != 0) return TDebugProcessThread::CreateForAttach(std::move(handOver), processId);
    return TDebugProcessThread::CreateForSpawn(std::move(handOver), programPath);
}

void TDebugRuns::Start(const std::string& captionArgument, const std::string& programPath, uint32_t processId) {
    TProcessForm& form = AddWindow(captionArgument);
    form.HandOver()->SetRunSettings({options_.StackOnFirstChance(), crashReports_, options_.Dumps()});
    try {
        runs_.back().thread = startThread_(form.HandOver(), programPath, processId);
    } catch (...) {
        // No thread will ever end this run, so it ends here: its window
        // shows " - Terminated" and can be closed.
        form.HandOver()->SetTerminated();
        throw;
    }
}

void TDebugRuns::Spawn(const std::string& programPath) { Start(programPath, programPath, 0); }

void TDebugRuns::Attach(uint32_t processId) { Start(HexText(processId), {}, processId); }

void TDebugRuns::RequestAttach(uint32_t processId) { PostMessageA(Handle(), WM_ATTACH_REQUEST, processId, 0); }

void TDebugRuns::Remove(const TProcessForm* form) {
    std::erase_if(runs_, [form](const TRun& run) { return run.form.get() == form; });
}

LRESULT TDebugRuns::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ATTACH_REQUEST:
            try {
                Attach(static_cast<uint32_t>(wParam));
            } catch (const std::exception&) {
                // The client's call has long returned; nobody is there to
                // hear of it.
            }
            return 0;
        case WM_WINDOW_CLOSED:
            Remove(reinterpret_cast<const TProcessForm*>(lParam));
            return 0;
        default: break;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

}  // namespace norvale
