#include "app/agent_process.h"

#include <chrono>

#include "capture/writer_names_win32.h"
#include "common/text.h"
#include "common/utf8_text.h"
#include "output/console_output.h"
#include "output/output.h"

namespace norvale {

namespace {

// Opening a channel is a few system calls; this bound is for a machine
// under load, never met otherwise.
constexpr std::chrono::seconds kChannelsAnswer{10};

std::string OutputLockName() { return "brantwick Norvale Agent Mutex " + std::to_string(GetCurrentProcessId()); }

// The default file's folder is not there on a fresh machine, and a folder a
// user named may not be either.
void MakeFolderOf(const std::string& path) {
    const std::string folder = PathPartOfPath(path);
    for (size_t at = folder.find('\\', 3); at != std::string::npos; at = folder.find('\\', at + 1)) {
        CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
    }
    // What fails here shows as the file's own failure at its first write.
}

}  // namespace

TAgentProcess::TAgentProcess(AgentPlace place)
    : place_(std::move(place)),
      outputLock_(OutputLockName()),
      forwarding_(SyslogOrigin{WideToUtf8(LocalComputerName())}),
      outputs_(std::make_unique<TProcessOutputs>(std::make_unique<TConsoleOutput>(MakeSystemConsoleHost()),
                                                 std::make_unique<TNoScreen>(), std::make_unique<TNoViewer>(),
                                                 place_.options)),
      stage_(outputLock_, *outputs_, place_.output),
      capture_(stage_, [this] { captureChanged_.Set(); }) {
    outputs_->SetForwarding(&forwarding_);
    WireOptionsFollowers();
}

void TAgentProcess::WireOptionsFollowers() {
    outputs_->AddOptionsFollower(capture_);
    outputs_->AddOptionsFollower(receiving_);
}

std::optional<AgentRefusal> TAgentProcess::Start() {
    const OutputSettings output = ReadOutputSettings(place_.output);
    if (output.ToFile) MakeFolderOf(output.Filename);
    stage_.RefreshProperties();
    const bool global = ReadOptionsSettings(place_.options).CaptureGlobal;
    const auto deadline = std::chrono::steady_clock::now() + kChannelsAnswer;
    while (!AgentChannelsAnswered(capture_.Status(), global)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !captureChanged_.WaitFor(static_cast<uint32_t>(left.count()))) {
            if (AgentChannelsAnswered(capture_.Status(), global)) break;
            return AgentRefusalOf(kAgentFailed, "debug output capture did not start within 10 s");
        }
    }
    return AgentCaptureRefusal(capture_.Status());
}

void TAgentProcess::Notice(const wchar_t* text) { stage_.DispatchNotice(text, LocalNow()); }

std::string TAgentProcess::End() {
    capture_.Stop();
    receiving_.Stop();
    try {
        stage_.CloseOutputFile();
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return stage_.FileProblem();
}

int RunAgent(const AgentPlace& place, HANDLE stop, const AgentRunHooks& hooks) {
    const OutputSettings output = ReadOutputSettings(place.output);
    if (const auto refusal = AgentSettingsRefusal(output, ReadOptionsSettings(place.options))) {
        hooks.tell(refusal->line);
        return refusal->code;
    }
    TAgentProcess agent(place);
    const std::optional<AgentRefusal> refusal = agent.Start();
    if (!refusal) {
        if (hooks.notices) agent.Notice(kAgentStartingUp);
        hooks.running();
        WaitForSingleObject(stop, INFINITE);
        if (hooks.notices) agent.Notice(kAgentShuttingDown);
    }
    const std::string problem = agent.End();
    if (refusal) {
        hooks.tell(refusal->line);
        return refusal->code;
    }
    if (!problem.empty()) {
        hooks.tell(AgentRefusalOf(kAgentFailed, problem).line);
        return kAgentFailed;
    }
    return kAgentEnded;
}

}  // namespace norvale
