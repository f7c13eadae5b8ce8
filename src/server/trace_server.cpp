#include "server/trace_server.h"

#include <exception>
#include <optional>

#include "common/ansi_text.h"
#include "output/formatting.h"

namespace norvale {

namespace {

constexpr const wchar_t* kStartingUp = L"Norvale Starting Up";
constexpr const wchar_t* kShuttingDown = L"Norvale Shutting Down";
constexpr const wchar_t* kSessionOpened = L"Session opened.";
constexpr const wchar_t* kSessionClosed = L"Session closed.";

}  // namespace

TTraceServer::TTraceServer(TMutex& outputLock, TOutputStage& output, TSessionRegistry& registry, Clock clock,
                           LocalTimeOf localTimeOf)
    : outputLock_(outputLock),
      registry_(registry),
      output_(output),
      clock_(std::move(clock)),
      localTimeOf_(std::move(localTimeOf)) {}

void TTraceServer::DispatchNotice(const wchar_t* text) { output_.DispatchNotice(text, clock_()); }

void TTraceServer::Start() {
    output_.RefreshProperties();
    DispatchNotice(kStartingUp);
}

namespace {

// Destructors have no caller to tell of a failure, and must not end the
// process with one.
template <typename Step>
void Quietly(Step step) noexcept {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace

TTraceServer::~TTraceServer() {
    Quietly([&] {
        TMutexLock lock(outputLock_);
        Quietly([&] { DispatchNotice(kShuttingDown); });
        Quietly([&] { output_.CloseOutputFile(); });
        for (TTraceSession* session : liveSessions_) session->server_ = nullptr;
    });
}

std::unique_ptr<TTraceSession> TTraceServer::OpenSession(const TraceSource& naming) {
    TMutexLock lock(outputLock_);
    auto session = std::make_unique<TTraceSession>(*this, naming);
    registry_.Add(session->SessionNumber(), SessionName(session->naming_));
    return session;
}

TTraceSession::TTraceSession(TTraceServer& server, const TraceSource& naming)
    : outputLock_(server.outputLock_),
      registry_(server.registry_),
      localTimeOf_(server.localTimeOf_),
      server_(&server),
      source_(std::make_shared<const TraceSource>(naming)),
      naming_(NamingIn(FileEncoding::Ansi, naming)),
      utf8Naming_(NamingIn(FileEncoding::Utf8, naming)),
      sessionNumber_(TSessionRegistry::NewSessionNumber()) {
    TMutexLock lock(outputLock_);
    TraceEntry opened = Entry(0, 0, MessageKind::Notice, kSessionOpened);
    DispatchLocked(opened);
    server.liveSessions_.insert(this);
}

TTraceSession::~TTraceSession() {
    Quietly([&] {
        TMutexLock lock(outputLock_);
        if (server_ != nullptr) server_->liveSessions_.erase(this);
    });
}

bool TTraceSession::Detached() const {
    TMutexLock lock(outputLock_);
    return server_ == nullptr;
}

// With the session's own class; the time is stamped under the lock.
TraceEntry TTraceSession::Entry(int32_t threadId, int32_t code, MessageKind kind, std::wstring_view text) const {
    TraceEntry entry;
    entry.source = source_;
    entry.session = &naming_;
    entry.utf8Session = &utf8Naming_;
    entry.className = source_->Class;
    entry.ansiClassName = naming_.Class;
    entry.threadId = threadId;
    entry.code = code;
    entry.kind = kind;
    entry.text = text;
    return entry;
}

// Holds the output lock for the whole call, so that the server object cannot
// go away in the middle of it; a detached session does nothing.
void TTraceSession::Dispatch(const TSessionCall& call) {
    TMutexLock lock(outputLock_);
    if (server_ != nullptr) DispatchLocked(call, server_->clock_());
}

void TTraceSession::DispatchLocked(TraceEntry& entry) {
    entry.time = server_->clock_();
    server_->output_.Dispatch(entry);
}

namespace {

MessageKind MessageKindOf(const TSessionCall& call) {
    switch (call.kind) {
        case SessionCallKind::EnterMethod: return MessageKind::EnterMethod;
        case SessionCallKind::ExitMethod: return MessageKind::ExitMethod;
        case SessionCallKind::Strings:
        case SessionCallKind::Binary: return MessageKind::Block;
        default: return MessageKindFromCode(call.code);
    }
}

}  // namespace

void TTraceSession::DispatchLocked(const TSessionCall& call, const LocalDateTime& time) {
    const bool method = call.kind == SessionCallKind::EnterMethod || call.kind == SessionCallKind::ExitMethod;
    TraceEntry entry = Entry(call.threadId, method ? 0 : call.code, MessageKindOf(call), call.text);
    std::string ansiClassName;
    if (call.kind == SessionCallKind::ClassMessage) {
        ansiClassName = WideToAnsi(call.className);
        entry.className = call.className;
        entry.ansiClassName = ansiClassName;
    }
    std::optional<TBlockLines> block;
    if (call.kind == SessionCallKind::Strings) block.emplace(TBlockLines::FromText(call.data));
    if (call.kind == SessionCallKind::Binary) block.emplace(TBlockLines::FromBytes(call.bytes));
    if (block) entry.block = &*block;
    entry.time = time;
    // The caller holds the output lock.
    server_->output_.DispatchLocked(entry);
}

void TTraceSession::AddMessage(int32_t threadId, int32_t code, std::wstring_view message) {
    Dispatch({.kind = SessionCallKind::Message, .threadId = threadId, .code = code, .text = message});
}

void TTraceSession::AddClassMessage(int32_t threadId, std::wstring_view className, int32_t code,
                                    std::wstring_view message) {
    Dispatch({.kind = SessionCallKind::ClassMessage,
              .threadId = threadId,
              .code = code,
              .className = className,
              .text = message});
}

void TTraceSession::EnterMethod(int32_t threadId, std::wstring_view message) {
    Dispatch({.kind = SessionCallKind::EnterMethod, .threadId = threadId, .text = message});
}

void TTraceSession::ExitMethod(int32_t threadId, std::wstring_view message) {
    Dispatch({.kind = SessionCallKind::ExitMethod, .threadId = threadId, .text = message});
}

void TTraceSession::AddStrings(int32_t threadId, int32_t code, std::wstring_view message, std::wstring_view data) {
    Dispatch({.kind = SessionCallKind::Strings, .threadId = threadId, .code = code, .text = message, .data = data});
}

void TTraceSession::AddBinary(int32_t threadId, int32_t code, std::wstring_view message,
                              std::span<const uint8_t> data) {
    Dispatch({.kind = SessionCallKind::Binary, .threadId = threadId, .code = code, .text = message, .bytes = data});
}

namespace {

// What an entry brings of its own: its texts as sent (two bytes a code unit)
// and its bytes.
size_t ContentBytes(const BatchEntry& entry) {
    return 2 * (entry.className.size() + entry.text.size() + entry.data.size()) + entry.bytes.size();
}

size_t SliceEnd(std::span<const BatchEntry> entries, size_t begin) {
    size_t end = begin + 1;
    size_t bytes = ContentBytes(entries[begin]);
    while (end < entries.size() && end - begin < TTraceSession::kSliceEntries) {
        bytes += ContentBytes(entries[end]);
        if (bytes > TTraceSession::kSliceBytes) break;
        ++end;
    }
    return end;
}

}  // namespace

void TTraceSession::AddEntries(std::span<const BatchEntry> entries) {
    std::vector<LocalDateTime> times;
    times.reserve(entries.size());
    for (const BatchEntry& entry : entries) {
        try {
            times.push_back(localTimeOf_(entry.time));
        } catch (const ENorvaleError&) {
            throw BatchEntryFault(times.size() + 1, entry,
                                  "its time " + std::to_string(entry.time) + " cannot be made the server's local time");
        }
    }
    std::exception_ptr firstFailure;
    const auto keepFirstFailure = [&] {
        if (!firstFailure) firstFailure = std::current_exception();
    };
    for (size_t begin = 0, end = 0; begin < entries.size(); begin = end) {
        end = SliceEnd(entries, begin);
        TMutexLock lock(outputLock_);
        if (server_ == nullptr) break;
        TOutputStage::TBatch batch(server_->output_);
        for (size_t i = begin; i < end; ++i) {
            const BatchEntry& entry = entries[i];
            try {
                const TSessionCall call{entry.kind, entry.threadId, entry.code, entry.className,
                                        entry.text, entry.data,     entry.bytes};
                DispatchLocked(call, times[i]);
            } catch (const std::exception&) {
                keepFirstFailure();
            }
        }
        try {
            batch.End();
        } catch (const std::exception&) {
            keepFirstFailure();
        }
    }
    if (firstFailure) std::rethrow_exception(firstFailure);
}

void TTraceSession::CloseSession() {
    TMutexLock lock(outputLock_);
    // The registry is the process's, not the server object's: a session whose
    // server object is gone still leaves it, or the count would never return
    // to 0.
    if (server_ == nullptr) {
        registry_.Remove(sessionNumber_);
        return;
    }
    TraceEntry closed = Entry(0, 0, MessageKind::Notice, kSessionClosed);
    DispatchLocked(closed);
    registry_.Remove(sessionNumber_);
    server_->output_.CloseOutputFile();
}

}  // namespace norvale
