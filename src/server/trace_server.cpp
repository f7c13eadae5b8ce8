#include "server/trace_server.h"

#include "output/formatting.h"

namespace norvale {

namespace {

constexpr const char* kStartingUp = "Norvale Starting Up";
constexpr const char* kShuttingDown = "Norvale Shutting Down";
constexpr const char* kSessionOpened = "Session opened.";
constexpr const char* kSessionClosed = "Session closed.";

}  // namespace

TTraceServer::TTraceServer(TMutex& outputLock, TProcessOutputs& outputs, TSessionRegistry& registry,
                           SettingsLocation location, TOutputStage::Clock clock)
    : outputLock_(outputLock), registry_(registry), output_(outputLock, outputs, std::move(location), std::move(clock)) {}

void TTraceServer::Start() {
    output_.RefreshProperties();
    output_.DispatchLine(nullptr, kStartingUp, MessageKind::Notice);
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
        Quietly([&] { output_.DispatchLine(nullptr, kShuttingDown, MessageKind::Notice); });
        Quietly([&] { output_.CloseOutputFile(); });
        for (TTraceSession* session : liveSessions_) session->server_ = nullptr;
    });
}

std::unique_ptr<TTraceSession> TTraceServer::OpenSession(const SessionNaming& naming) {
    TMutexLock lock(outputLock_);
    auto session = std::make_unique<TTraceSession>(*this, naming);
    registry_.Add(session->SessionNumber(), SessionName(naming));
    return session;
}

TTraceSession::TTraceSession(TTraceServer& server, const SessionNaming& naming)
    : outputLock_(server.outputLock_),
      registry_(server.registry_),
      server_(&server),
      naming_(naming),
      sessionNumber_(TSessionRegistry::NewSessionNumber()) {
    TMutexLock lock(outputLock_);
    server.output_.DispatchLine(&naming_, Prefix(0, 0, naming_.Class).append(kSessionOpened), MessageKind::Notice);
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

// Holds the output lock for the whole call, so that the server object cannot
// go away in the middle of it; a detached session does nothing.
template <typename Call>
void TTraceSession::WithServer(Call call) {
    TMutexLock lock(outputLock_);
    if (server_ != nullptr) call(server_->output_);
}

// Every line of a calling thread is built in one buffer of that thread, so
// the hot path allocates nothing once the buffer has grown.
std::string& TTraceSession::Prefix(int32_t threadId, int32_t code, std::string_view className) {
    thread_local std::string line;
    line.clear();
    server_->output_.AppendPrefix(line, naming_, threadId, code, className);
    return line;
}

void TTraceSession::AddMessage(int32_t threadId, int32_t code, const std::string& message) {
    WithServer([&](TOutputStage& output) {
        output.DispatchLine(&naming_, Prefix(threadId, code, naming_.Class).append(message),
                            MessageKindFromCode(code));
    });
}

void TTraceSession::AddClassMessage(int32_t threadId, const std::string& className, int32_t code,
                                    const std::string& message) {
    WithServer([&](TOutputStage& output) {
        output.DispatchLine(&naming_, Prefix(threadId, code, className).append(message),
                            MessageKindFromCode(code));
    });
}

void TTraceSession::EnterMethod(int32_t threadId, const std::string& message) {
    WithServer([&](TOutputStage& output) {
        output.DispatchEnter(&naming_, Prefix(threadId, 0, naming_.Class), message);
    });
}

void TTraceSession::ExitMethod(int32_t threadId, const std::string& message) {
    WithServer([&](TOutputStage& output) {
        output.DispatchExit(&naming_, Prefix(threadId, 0, naming_.Class), message);
    });
}

void TTraceSession::AddStrings(int32_t threadId, int32_t code, const std::string& message, std::string_view data) {
    const auto lines = SplitLines(data);
    WithServer([&](TOutputStage& output) {
        output.DispatchBlock(&naming_, Prefix(threadId, code, naming_.Class), lines, message);
    });
}

void TTraceSession::AddBinary(int32_t threadId, int32_t code, const std::string& message,
                              std::span<const uint8_t> data) {
    const auto rows = HexDump(data);
    WithServer([&](TOutputStage& output) {
        output.DispatchBlock(&naming_, Prefix(threadId, code, naming_.Class), rows, message);
    });
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
    TOutputStage& output = server_->output_;
    output.DispatchLine(&naming_, Prefix(0, 0, naming_.Class).append(kSessionClosed), MessageKind::Notice);
    registry_.Remove(sessionNumber_);
    output.CloseOutputFile();
}

}  // namespace norvale
