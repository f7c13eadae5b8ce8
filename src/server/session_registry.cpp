#include "server/session_registry.h"

#include <algorithm>

namespace norvale {

std::string SessionName(const SessionNaming& naming) {
    return naming.Project + "/" + naming.Module + "/" + naming.Class + "/" + naming.Machine;
}

uint64_t TSessionRegistry::NewSessionNumber() {
    static std::atomic<uint64_t> next{1};
    return next++;
}

void TSessionRegistry::Add(uint64_t sessionNumber, const std::string& sessionName) {
    TMutexLock lock(outputLock_);
    {
        std::lock_guard read(readLock_);
        entries_.push_back(Entry{sessionName, sessionNumber});
    }
    ++openSessionCount_;
    changed_();
}

bool TSessionRegistry::Remove(uint64_t sessionNumber) {
    TMutexLock lock(outputLock_);
    {
        std::lock_guard read(readLock_);
        const auto found = std::find_if(entries_.begin(), entries_.end(),
                                        [&](const Entry& entry) { return entry.SessionNumber == sessionNumber; });
        if (found == entries_.end()) return false;
        entries_.erase(found);
    }
    --openSessionCount_;
    changed_();
    return true;
}

std::vector<TSessionRegistry::Entry> TSessionRegistry::Snapshot() {
    std::lock_guard read(readLock_);
    return entries_;
}

std::vector<std::string> TSessionRegistry::SessionNames() {
    std::lock_guard read(readLock_);
    std::vector<std::string> names;
    names.reserve(entries_.size());
    for (const Entry& entry : entries_) names.push_back(entry.SessionName);
    return names;
}

}  // namespace norvale
