#include "output/output_stage.h"

#include "common/ansi_text.h"
#include "common/call_profile.h"
#include "common/utf8_text.h"

namespace norvale {

TOutputStage::TOutputStage(TMutex& outputLock, TProcessOutputs& outputs, SettingsLocation location,
                           std::function<LocalDateTime()> today)
    : outputLock_(outputLock),
      outputs_(outputs),
      location_(std::move(location)),
      file_(settings_, std::move(today)),
      flusher_([this] {
          try {
              TMutexLock lock(outputLock_);
              file_.WriteBuffered();
          } catch (const std::exception&) {
              // The next entry meets the same failure, and its caller hears of it.
          }
      }) {
    outputs_.AddOptionsFollower(file_);
}

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

namespace {

std::string_view MarkerOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::EnterMethod: return kEnterMarker;
        case MessageKind::ExitMethod: return kExitMarker;
        default: return {};
    }
}

template <typename Write>
void EndingOnlyItsOwnOutput(Write write) {
    try {
        write();
    } catch (const std::exception&) {
        // A block's console, screen or file failure is not the caller's.
    }
}

// Publishes the file's state however the dispatch ends, and hands what
// waits in its buffer to the flusher.
class TFileStatePublisher {
public:
    TFileStatePublisher(std::atomic<bool>& published, const TFileOutput& file, TBufferFlusher& flusher)
        : published_(published), file_(file), flusher_(flusher) {}
    ~TFileStatePublisher() {
        published_ = file_.OutputFileOpen();
        if (file_.BytesWaiting()) flusher_.BytesWaiting();
    }
    TFileStatePublisher(const TFileStatePublisher&) = delete;
    TFileStatePublisher& operator=(const TFileStatePublisher&) = delete;

private:
    std::atomic<bool>& published_;
    const TFileOutput& file_;
    TBufferFlusher& flusher_;
};

}  // namespace

// One entry's 8-bit texts in one encoding. Each calling thread builds them in
// buffers of its own, so the hot path allocates nothing once they have grown.
struct TOutputStage::EntryTexts {
    FileEncoding encoding = FileEncoding::Ansi;
    const TraceEntry* entry = nullptr;
    std::string withMarker;  // the prefix, the enter/exit marker, the message
    std::string plain;       // the same without the marker: the viewer's
    std::string indent;

    void Make(const TraceEntry& made, const OutputSettings& settings, FileEncoding madeIn) {
        encoding = madeIn;
        entry = &made;
        const bool utf8 = encoding == FileEncoding::Utf8;
        plain.clear();
        if (const SessionNaming* session = utf8 ? made.utf8Session : made.session) {
            const TStageTimer timer(CallStage::Prefix);
            const std::string utf8Class = utf8 && settings.IncludeClass ? WideToUtf8(made.className) : std::string();
            AppendPrefix(plain, settings, *session, made.threadId, made.code,
                         utf8 ? std::string_view(utf8Class) : made.ansiClassName, made.time.time);
        }
        const size_t prefixLength = plain.size();
        {
            const TStageTimer timer(CallStage::Conversion);
            if (utf8) {
                AppendUtf8(plain, made.text);
            } else {
                plain += WideToAnsi(made.text);
            }
        }
        const std::string_view prefix = std::string_view(plain).substr(0, prefixLength);
        if (made.block != nullptr) {
            indent = BlockIndent(prefix, encoding);
            return;
        }
        const std::string_view marker = MarkerOf(made.kind);
        if (marker.empty()) return;
        withMarker.assign(prefix);
        withMarker += marker;
        withMarker.append(plain, prefixLength);
    }

    TraceLine Line() const {
        const bool marked = !MarkerOf(entry->kind).empty();
        return TraceLine{marked ? withMarker : plain, plain, entry->kind, FileSession(), encoding, Names()};
    }
    // The block's lines are made in this encoding only when an output asks.
    TraceBlock Block() const {
        return TraceBlock{plain, indent, entry->block->In(encoding), FileSession(), encoding, Names()};
    }
    // The outputs name a file with it only.
    const SessionNaming* FileSession() const {
        return entry->fileSession != nullptr ? entry->fileSession : entry->session;
    }
    NameValues Names() const { return entry->received ? NameValues::Received : NameValues::Local; }
};

void TOutputStage::WriteLine(const EntryTexts& local, const EntryTexts& eightBit) {
    if (settings_.ToConsole) outputs_.Console().WriteLine(local.Line());
    if (settings_.ToMono) outputs_.Screen().WriteLine(eightBit.Line());
    if (settings_.ToCodeSite) outputs_.Viewer().WriteLine(eightBit.Line());
    if (settings_.ToFile) file_.WriteLine(local.Line());
}

void TOutputStage::WriteBlock(const EntryTexts& local, const EntryTexts& eightBit) {
    if (settings_.ToConsole) EndingOnlyItsOwnOutput([&] { outputs_.Console().WriteBlock(local.Block()); });
    if (settings_.ToMono) EndingOnlyItsOwnOutput([&] { outputs_.Screen().WriteBlock(eightBit.Block()); });
    if (settings_.ToFile) EndingOnlyItsOwnOutput([&] { file_.WriteBlock(local.Block()); });
    if (settings_.ToCodeSite) outputs_.Viewer().WriteBlock(eightBit.Block());
}

void TOutputStage::Dispatch(const TraceEntry& entry) {
    TMutexLock lock(outputLock_);
    DispatchLocked(entry);
}

void TOutputStage::DispatchNotice(std::wstring_view text, const LocalDateTime& time) {
    TraceEntry entry;
    entry.kind = MessageKind::Notice;
    entry.time = time;
    entry.text = text;
    Dispatch(entry);
}

void TOutputStage::DispatchLocked(const TraceEntry& entry) {
    const TFileStatePublisher publisher(fileOpen_, file_, flusher_);
    outputs_.AppendEntry(entry);
    if (!settings_.AnyOutput()) return;

    const FileEncoding encoding = outputs_.Encoding();
    const bool localOn = settings_.ToConsole || settings_.ToFile;
    thread_local EntryTexts eightBit;
    thread_local EntryTexts unicode;
    if (settings_.ToMono || settings_.ToCodeSite || (localOn && encoding == FileEncoding::Ansi)) {
        eightBit.Make(entry, settings_, FileEncoding::Ansi);
    }
    if (localOn && encoding == FileEncoding::Utf8) unicode.Make(entry, settings_, FileEncoding::Utf8);
    const EntryTexts& local = encoding == FileEncoding::Utf8 ? unicode : eightBit;

    const TStageTimer timer(CallStage::Dispatch);
    if (entry.block != nullptr) {
        WriteBlock(local, eightBit);
    } else {
        WriteLine(local, eightBit);
    }
}

TOutputStage::TBatch::TBatch(TOutputStage& stage) : stage_(stage) { stage_.file_.GatherBatch(!stage_.writeThrough_); }

TOutputStage::TBatch::~TBatch() {
    if (ended_) return;
    try {
        End();
    } catch (const std::exception&) {
        // Nobody is left to tell; the next entry meets the same failure.
    }
}

void TOutputStage::TBatch::End() {
    ended_ = true;
    const TFileStatePublisher publisher(stage_.fileOpen_, stage_.file_, stage_.flusher_);
    stage_.file_.GatherBatch(false);
}

void TOutputStage::CloseOutputFile() {
    TMutexLock lock(outputLock_);
    const TFileStatePublisher publisher(fileOpen_, file_, flusher_);
    file_.CloseOutputFile();
}

void TOutputStage::WriteThrough() {
    TMutexLock lock(outputLock_);
    const TFileStatePublisher publisher(fileOpen_, file_, flusher_);
    writeThrough_ = true;
    settings_.FlushOutputFile = true;
    file_.CloseOutputFile();
}

}  // namespace norvale
