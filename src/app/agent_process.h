#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/agent_settings.h"
#include "capture/debug_output_capture_win32.h"
#include "common/event.h"
#include "common/mutex.h"
#include "forward/forwarding.h"
#include "output/output_stage.h"
#include "output/process_outputs.h"
#include "receive/receiving.h"

namespace norvale {

// The agent's parts and how they are wired: capture of debug output as its
// input with receiving beside it, and the outputs its settings name (the
// file with its rotation, the console as standard output, forwarding). No
// window, no class offered, no registration. Members are declared in the
// order they must live: what capture and receiving hand entries to comes
// first and goes last.
class TAgentProcess {
public:
    explicit TAgentProcess(AgentPlace place);
    TAgentProcess(const TAgentProcess&) = delete;
    TAgentProcess& operator=(const TAgentProcess&) = delete;

    // Applies the settings and waits until every channel asked for has
    // answered: nothing when the agent works, or why it cannot.
    std::optional<AgentRefusal> Start();
    // Capture and receiving end with every entry they took written, and the
    // file is closed: what keeps the file from being written, if anything.
    std::string End();
    // One of the agent's own lines, in its outputs as the server's notices are.
    void Notice(const wchar_t* text);

private:
    void WireOptionsFollowers();

    const AgentPlace place_;
    // Of this process alone: a desktop Norvale's lock is no concern of the
    // agent's.
    TMutex outputLock_;
    // Outlives the outputs and capture, which hand it entries to the end.
    TForwarding forwarding_;
    std::unique_ptr<TProcessOutputs> outputs_;
    TOutputStage stage_;
    TReceiving receiving_{stage_};
    TEvent captureChanged_;
    TDebugOutputCapture capture_;
};

// What the program around the agent hears of it.
struct AgentRunHooks {
    // The one line of a refusal or failure.
    std::function<void(const std::string&)> tell;
    // Once it captures: a service reports that it runs.
    std::function<void()> running = [] {};
    // Its start and its end as notices in its outputs: a service's console
    // is nobody's, so its file and collector tell when it ran.
    bool notices = false;
};

inline constexpr const wchar_t* kAgentStartingUp = L"Norvale Agent Starting Up";
inline constexpr const wchar_t* kAgentShuttingDown = L"Norvale Agent Shutting Down";

// The agent from its settings to its end, as a console's main and a
// service's main both run it: until `stop` is set, then what waits is
// written. The exit code.
int RunAgent(const AgentPlace& place, HANDLE stop, const AgentRunHooks& hooks);

}  // namespace norvale
