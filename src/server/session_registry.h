#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/mutex.h"
#include "common/session_naming.h"

namespace norvale {

// Project "/" module "/" class "/" machine; the process id is not part of it.
std::string SessionName(const SessionNaming& naming);

// The process-wide list of open sessions, in the order they were opened. An
// entry names a session by a number no other session of the process ever
// gets, so an entry left by a session released without closing can never be
// taken for a later one. Every change happens under the output lock.
class TSessionRegistry {
public:
    struct Entry {
        std::string SessionName;
        uint64_t SessionNumber = 0;
    };

    explicit TSessionRegistry(TMutex& outputLock) : outputLock_(outputLock) {}

    static uint64_t NewSessionNumber();

    void Add(uint64_t sessionNumber, const std::string& sessionName);
    // Removes the first entry of that session; false when there was none.
    bool Remove(uint64_t sessionNumber);
    std::vector<Entry> Snapshot();

    // `OpenSessionCount`: may be read without the lock.
    int32_t OpenSessionCount() const { return openSessionCount_.load(); }

private:
    TMutex& outputLock_;
    std::vector<Entry> entries_;
    std::atomic<int32_t> openSessionCount_{0};
};

}  // namespace norvale
