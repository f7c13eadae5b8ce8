#pragma once

// What the server object and its sessions do, in 8-bit text and plain values:
// the automation objects convert their arguments and call these.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>

#include "common/mutex.h"
#include "common/session_naming.h"
#include "output/output_stage.h"
#include "server/session_registry.h"

namespace norvale {

class TTraceSession;

class TTraceServer {
public:
    TTraceServer(TMutex& outputLock, TProcessOutputs& outputs, TSessionRegistry& registry,
                 SettingsLocation location, TOutputStage::Clock clock = LocalTimeOfDay);
    // Writes "Norvale Shutting Down", closes the output file and detaches the
    // sessions still alive, so that later calls on them do nothing.
    ~TTraceServer();
    TTraceServer(const TTraceServer&) = delete;
    TTraceServer& operator=(const TTraceServer&) = delete;

    // Reads the settings and writes "Norvale Starting Up".
    void Start();

    // Writes "Session opened." and registers the session, with no other
    // output in between.
    std::unique_ptr<TTraceSession> OpenSession(const SessionNaming& naming);

    void RefreshProperties() { output_.RefreshProperties(); }
    void CloseOutputFile() { output_.CloseOutputFile(); }
    TOutputStage& Output() { return output_; }

private:
    friend class TTraceSession;

    TMutex& outputLock_;
    TSessionRegistry& registry_;
    TOutputStage output_;
    std::unordered_set<TTraceSession*> liveSessions_;
};

class TTraceSession {
public:
    // Writes "Session opened."; raises when that fails.
    TTraceSession(TTraceServer& server, const SessionNaming& naming);
    ~TTraceSession();
    TTraceSession(const TTraceSession&) = delete;
    TTraceSession& operator=(const TTraceSession&) = delete;

    void AddMessage(int32_t threadId, int32_t code, const std::string& message);
    void AddClassMessage(int32_t threadId, const std::string& className, int32_t code, const std::string& message);
    void EnterMethod(int32_t threadId, const std::string& message);
    void ExitMethod(int32_t threadId, const std::string& message);
    void AddStrings(int32_t threadId, int32_t code, const std::string& message, std::string_view data);
    void AddBinary(int32_t threadId, int32_t code, const std::string& message, std::span<const uint8_t> data);
    // Writes "Session closed.", leaves the registry and closes the output
    // file. The session stays usable. Once its server object is gone, it only
    // leaves the registry.
    void CloseSession();

    uint64_t SessionNumber() const { return sessionNumber_; }
    bool Detached() const;

private:
    friend class TTraceServer;

    template <typename Call>
    void WithServer(Call call);
    std::string& Prefix(int32_t threadId, int32_t code, std::string_view className);

    TMutex& outputLock_;
    TSessionRegistry& registry_;
    TTraceServer* server_;  // none once the server object is gone
    const SessionNaming naming_;
    const uint64_t sessionNumber_;
};

}  // namespace norvale
