#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
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
// taken for a later one. Every change happens under the output lock; readers
// take only a lock of the registry's own, held for a copy, so that the main
// thread never waits on the output lock to show the sessions.
class TSessionRegistry {
public:
    struct Entry {
        std::string SessionName;
        uint64_t SessionNumber = 0;
    };

    // Told of every added or removed entry, after the change, on the calling
    // thread and under the output lock. It must never wait for another thread
    // (post, never send): the main thread reads the registry.
    using ChangeListener = std::function<void()>;

    explicit TSessionRegistry(TMutex& outputLock, ChangeListener changed = [] {})
        : outputLock_(outputLock), changed_(std::move(changed)) {}

    static uint64_t NewSessionNumber();

    void Add(uint64_t sessionNumber, const std::string& sessionName);
    // Removes the first entry of that session; false when there was none.
    bool Remove(uint64_t sessionNumber);
    std::vector<Entry> Snapshot();
    // The names of the entries, in registry order.
    std::vector<std::string> SessionNames();

    // `OpenSessionCount`: may be read without the lock.
    int32_t OpenSessionCount() const { return openSessionCount_.load(); }

private:
    TMutex& outputLock_;
    const ChangeListener changed_;
    std::mutex readLock_;
    std::vector<Entry> entries_;
    std::atomic<int32_t> openSessionCount_{0};
};

}  // namespace norvale
