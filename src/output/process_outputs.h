#pragma once

#include <memory>
#include <vector>

#include "output/output.h"
#include "output/output_settings.h"
#include "output/trace_entry.h"

namespace norvale {

// The outputs a process has once, whatever server object comes and goes:
// the console, the monochrome screen and the viewer, with the state a settings
// refresh keeps about them. Used under the output lock only.
class TProcessOutputs {
public:
    // `options`: where the process's options are kept (a test's own key).
    TProcessOutputs(std::unique_ptr<IConsoleOutput> console, std::unique_ptr<IScreenOutput> screen,
                    std::unique_ptr<IViewerOutput> viewer, OptionsLocation options = {});

    // The process's real console, and stand-ins for the outputs not built yet.
    static std::unique_ptr<TProcessOutputs> MakeForProcess();

    // The refresh's effect on these outputs: `ToMono` becomes what was stored
    // AND NOT `MonoUnavailable`; the console is allocated or released; the
    // screen shows its banner when it turns on.
    void ApplySettings(OutputSettings& settings);

    // The trace window's store; set once at start, before any dispatch.
    void SetWindow(IEntrySink* window) { window_ = window; }
    // Forwarding to a log collector, which follows its own options; set
    // once at start.
    void SetForwarding(IEntrySink* forwarding) { forwarding_ = forwarding; }
    // Another part of the process that follows the options; set at start.
    void AddOptionsFollower(IOptionsFollower& follower) { followers_.push_back(&follower); }
    // Re-reads the process's own options, which every server object shares.
    void RefreshOptions();
    // How the console and the file get their text, as the options say.
    FileEncoding Encoding() const { return options_.fileEncoding; }
    // Hands the entry to the process's entry destinations that are on.
    void AppendEntry(const TraceEntry& entry);

    IConsoleOutput& Console() { return *console_; }
    IScreenOutput& Screen() { return *screen_; }
    IViewerOutput& Viewer() { return *viewer_; }
    // Without the output lock, by the main thread too.
    uint64_t ViewerUndelivered() const { return viewer_->Undelivered(); }
    bool MonoActive() const { return monoActive_; }

private:
    std::unique_ptr<IConsoleOutput> console_;
    std::unique_ptr<IScreenOutput> screen_;
    std::unique_ptr<IViewerOutput> viewer_;
    bool monoActive_ = false;
    const OptionsLocation optionsLocation_;
    IEntrySink* window_ = nullptr;
    IEntrySink* forwarding_ = nullptr;
    std::vector<IOptionsFollower*> followers_;
    OptionsSettings options_;
};

}  // namespace norvale
