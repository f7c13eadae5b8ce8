#include "output/output_stage.h"

#include "common/call_profile.h"

namespace norvale {

TOutputStage::TOutputStage(TMutex& outputLock, TProcessOutputs& outputs, SettingsLocation location, Clock clock)
    : outputLock_(outputLock), outputs_(outputs), location_(std::move(location)), clock_(std::move(clock)) {}

void TOutputStage::RefreshProperties() {
    TMutexLock lock(outputLock_);
    settings_ = ReadOutputSettings(location_);
    outputs_.ApplySettings(settings_);
}

void TOutputStage::AppendPrefix(std::string& line, const SessionNaming& session, int32_t threadId, int32_t code,
                                std::string_view className) {
    const TStageTimer timer(CallStage::Prefix);
    const TimeOfDay time = settings_.IncludeDateTime ? clock_() : TimeOfDay{};
    norvale::AppendPrefix(line, settings_, session, threadId, code, className, time);
}

void TOutputStage::WriteToOutputs(const TraceLine& line) {
    const TStageTimer timer(CallStage::Dispatch);
    if (settings_.ToConsole) outputs_.Console().WriteLine(line);
    if (settings_.ToMono) outputs_.Screen().WriteLine(line);
    if (settings_.ToCodeSite) outputs_.Viewer().WriteLine(line);
    if (settings_.ToFile) file_.WriteLine(line);
}

void TOutputStage::DispatchLine(const SessionNaming* session, const std::string& line, MessageKind kind) {
    TMutexLock lock(outputLock_);
    WriteToOutputs(TraceLine{line, line, kind, session});
}

void TOutputStage::DispatchMarked(const SessionNaming* session, const std::string& prefix, std::string_view marker,
                                  const std::string& message, MessageKind kind) {
    TMutexLock lock(outputLock_);
    if (!settings_.AnyOutput()) return;
    std::string text = prefix;
    text += marker;
    text += message;
    const std::string viewerText = prefix + message;
    WriteToOutputs(TraceLine{text, viewerText, kind, session});
}

void TOutputStage::DispatchEnter(const SessionNaming* session, const std::string& prefix,
                                 const std::string& message) {
    DispatchMarked(session, prefix, kEnterMarker, message, MessageKind::EnterMethod);
}

void TOutputStage::DispatchExit(const SessionNaming* session, const std::string& prefix,
                                const std::string& message) {
    DispatchMarked(session, prefix, kExitMarker, message, MessageKind::ExitMethod);
}

namespace {

template <typename Write>
void EndingOnlyItsOwnOutput(Write write) {
    try {
        write();
    } catch (const std::exception&) {
        // A block's console, screen or file failure is not the caller's.
    }
}

}  // namespace

void TOutputStage::DispatchBlock(const SessionNaming* session, const std::string& prefix,
                                 const std::vector<std::string>& entries, const std::string& message) {
    TMutexLock lock(outputLock_);
    if (!settings_.AnyOutput()) return;
    const std::string heading = prefix + message;
    const std::string indent = BlockIndent(prefix);
    const TraceBlock block{heading, indent, entries, session};
    const TStageTimer timer(CallStage::Dispatch);
    if (settings_.ToConsole) EndingOnlyItsOwnOutput([&] { outputs_.Console().WriteBlock(block); });
    if (settings_.ToMono) EndingOnlyItsOwnOutput([&] { outputs_.Screen().WriteBlock(block); });
    if (settings_.ToFile) EndingOnlyItsOwnOutput([&] { file_.WriteBlock(block); });
    if (settings_.ToCodeSite) outputs_.Viewer().WriteBlock(block);
}

void TOutputStage::CloseOutputFile() {
    TMutexLock lock(outputLock_);
    file_.CloseOutputFile();
}

}  // namespace norvale
