#pragma once

// What the server object and its sessions do, in plain values and the
// client's UTF-16 text: the automation objects hand their arguments on.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>

#include "common/clock.h"
#include "common/mutex.h"
#include "common/session_naming.h"
#include "output/output_stage.h"
#include "output/trace_entry.h"
#include "server/batch_reader.h"
#include "server/session_registry.h"

namespace norvale {

class TTraceSession;

// One call of a client as a session dispatches it, whether it came alone or
// in a batch: the fields its kind has, the others empty.
struct TSessionCall {
    SessionCallKind kind = SessionCallKind::Message;
    int32_t threadId = 0;
    int32_t code = 0;
    std::wstring_view className = {};
    std::wstring_view text = {};
    std::wstring_view data = {};
    std::span<const uint8_t> bytes = {};
};

class TTraceServer {
public:
    // When each entry was made: local time, read for every entry.
    using Clock = std::function<LocalDateTime()>;
    // A client's UTC time (a FILETIME) as local time; raises ENorvaleError
    // for a time that cannot be.
    using LocalTimeOf = std::function<LocalDateTime(uint64_t)>;

    // `output`: the process's output stage, which outlives the server; its
    // file is the one every input of the process writes.
    TTraceServer(TMutex& outputLock, TOutputStage& output, TSessionRegistry& registry, Clock clock = LocalNow,
                 LocalTimeOf localTimeOf = LocalTimeOfFileTime);
    // Writes "Norvale Shutting Down", closes the output file and detaches the
    // sessions still alive, so that later calls on them do nothing.
    ~TTraceServer();
    TTraceServer(const TTraceServer&) = delete;
    TTraceServer& operator=(const TTraceServer&) = delete;

    // Reads the settings and writes "Norvale Starting Up".
    void Start();

    // Writes "Session opened." and registers the session, with no other
    // output in between.
    std::unique_ptr<TTraceSession> OpenSession(const TraceSource& naming);

    void RefreshProperties() { output_.RefreshProperties(); }
    void CloseOutputFile() { output_.CloseOutputFile(); }
    TOutputStage& Output() { return output_; }

private:
    friend class TTraceSession;

    void DispatchNotice(const wchar_t* text);

    TMutex& outputLock_;
    TSessionRegistry& registry_;
    TOutputStage& output_;
    const Clock clock_;
    const LocalTimeOf localTimeOf_;
    std::unordered_set<TTraceSession*> liveSessions_;
};

class TTraceSession {
public:
    // Writes "Session opened."; raises when that fails.
    TTraceSession(TTraceServer& server, const TraceSource& naming);
    ~TTraceSession();
    TTraceSession(const TTraceSession&) = delete;
    TTraceSession& operator=(const TTraceSession&) = delete;

    void AddMessage(int32_t threadId, int32_t code, std::wstring_view message);
    void AddClassMessage(int32_t threadId, std::wstring_view className, int32_t code, std::wstring_view message);
    void EnterMethod(int32_t threadId, std::wstring_view message);
    void ExitMethod(int32_t threadId, std::wstring_view message);
    void AddStrings(int32_t threadId, int32_t code, std::wstring_view message, std::wstring_view data);
    void AddBinary(int32_t threadId, int32_t code, std::wstring_view message, std::span<const uint8_t> data);
    // Every entry in its order, each as its single call makes it but with the
    // client's time. Every time is made local first: one that cannot be
    // refuses the whole batch (EBatchFormat) before anything is written. Then
    // slices of at most kSliceEntries entries or kSliceBytes of texts and
    // data (an entry bigger than that alone) each under one hold of the
    // output lock, so that a big batch keeps nobody waiting for long; other
    // callers' lines may come between slices. A server object gone between
    // slices leaves the rest unwritten, as it leaves any later call. An entry
    // that fails stops none after it; the first failure is raised at the end.
    void AddEntries(std::span<const BatchEntry> entries);
    static constexpr size_t kSliceEntries = 1000;
    static constexpr size_t kSliceBytes = size_t{1} << 20;
    // Writes "Session closed.", leaves the registry and closes the output
    // file. The session stays usable. Once its server object is gone, it only
    // leaves the registry.
    void CloseSession();

    uint64_t SessionNumber() const { return sessionNumber_; }
    bool Detached() const;

private:
    friend class TTraceServer;

    // Dispatches one call of this session now, unless its server object is gone.
    void Dispatch(const TSessionCall& call);
    // The same, for a caller that holds the output lock and has a server object.
    void DispatchLocked(const TSessionCall& call, const LocalDateTime& time);
    void DispatchLocked(TraceEntry& entry);
    TraceEntry Entry(int32_t threadId, int32_t code, MessageKind kind, std::wstring_view text) const;

    TMutex& outputLock_;
    TSessionRegistry& registry_;
    const TTraceServer::LocalTimeOf localTimeOf_;
    TTraceServer* server_;  // none once the server object is gone
    const std::shared_ptr<const TraceSource> source_;
    const SessionNaming naming_;
    const SessionNaming utf8Naming_;
    const uint64_t sessionNumber_;
};

}  // namespace norvale
