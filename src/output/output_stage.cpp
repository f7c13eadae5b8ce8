#include "output/output_stage.h"

#include "common/ansi_text.h"
#include "common/call_profile.h"

namespace norvale {

TOutputStage::TOutputStage(TMutex& outputLock, TProcessOutputs& outputs, SettingsLocation location)
    : outputLock_(outputLock), outputs_(outputs), location_(std::move(location)) {}

void TOutputStage::RefreshProperties() {
    TMutexLock lock(outputLock_);
    ReadSettingsLocked();
    outputs_.RefreshOptions();
}

void TOutputStage::ReadSettingsOnceLocked() {
    if (!settingsRead_) ReadSettingsLocked();
}

void TOutputStage::ReadSettingsLocked() {
    settings_ = ReadOutputSettings(location_);
    settings_.FlushOutputFile = settings_.FlushOutputFile || writeThrough_;
    settingsRead_ = true;
    outputs_.ApplySettings(settings_);
}

void TOutputStage::WriteLine(const TraceLine& line) {
    if (settings_.ToConsole) outputs_.Console().WriteLine(line);
    if (settings_.ToMono) outputs_.Screen().WriteLine(line);
    if (settings_.ToCodeSite) outputs_.Viewer().WriteLine(line);
    if (settings_.ToFile) file_.WriteLine(line);
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

std::string_view MarkerOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::EnterMethod: return kEnterMarker;
        case MessageKind::ExitMethod: return kExitMarker;
        default: return {};
    }
}

}  // namespace

void TOutputStage::WriteBlock(const TraceBlock& block) {
    if (settings_.ToConsole) EndingOnlyItsOwnOutput([&] { outputs_.Console().WriteBlock(block); });
    if (settings_.ToMono) EndingOnlyItsOwnOutput([&] { outputs_.Screen().WriteBlock(block); });
    if (settings_.ToFile) EndingOnlyItsOwnOutput([&] { file_.WriteBlock(block); });
    if (settings_.ToCodeSite) outputs_.Viewer().WriteBlock(block);
}

void TOutputStage::Dispatch(const TraceEntry& entry) {
    TMutexLock lock(outputLock_);
    DispatchLocked(entry);
}

namespace {

// Publishes the file's state however the dispatch ends.
class TFileStatePublisher {
public:
    TFileStatePublisher(std::atomic<bool>& published, const TFileOutput& file) : published_(published), file_(file) {}
    ~TFileStatePublisher() { published_ = file_.OutputFileOpen(); }
    TFileStatePublisher(const TFileStatePublisher&) = delete;
    TFileStatePublisher& operator=(const TFileStatePublisher&) = delete;

private:
    std::atomic<bool>& published_;
    const TFileOutput& file_;
};

}  // namespace

void TOutputStage::DispatchLocked(const TraceEntry& entry) {
    const TFileStatePublisher publisher(fileOpen_, file_);
    outputs_.AppendEntry(entry);
    if (!settings_.AnyOutput()) return;

    // Every line of a calling thread is built in buffers of that thread, so
    // the hot path allocates nothing once they have grown.
    thread_local std::string text;
    thread_local std::string viewerText;
    text.clear();
    if (entry.session != nullptr) {
        const TStageTimer timer(CallStage::Prefix);
        AppendPrefix(text, settings_, *entry.session, entry.threadId, entry.code, entry.ansiClassName,
                     entry.time.time);
    }
    const size_t prefixLength = text.size();
    {
        const TStageTimer timer(CallStage::Conversion);
        viewerText.assign(text);
        viewerText += WideToAnsi(entry.text);
    }
    const TStageTimer timer(CallStage::Dispatch);
    if (entry.block != nullptr) {
        const std::string indent = BlockIndent(std::string_view(text).substr(0, prefixLength));
        WriteBlock(TraceBlock{viewerText, indent, entry.block->Ansi(), entry.session});
        return;
    }
    const std::string_view marker = MarkerOf(entry.kind);
    if (marker.empty()) {
        WriteLine(TraceLine{viewerText, viewerText, entry.kind, entry.session});
        return;
    }
    text += marker;
    text.append(viewerText, prefixLength);
    WriteLine(TraceLine{text, viewerText, entry.kind, entry.session});
}

void TOutputStage::CloseOutputFile() {
    TMutexLock lock(outputLock_);
    const TFileStatePublisher publisher(fileOpen_, file_);
    file_.CloseOutputFile();
}

void TOutputStage::WriteThrough() {
    TMutexLock lock(outputLock_);
    const TFileStatePublisher publisher(fileOpen_, file_);
    writeThrough_ = true;
    settings_.FlushOutputFile = true;
    file_.CloseOutputFile();
}

}  // namespace norvale
