#include "output/file_rotation.h"

namespace norvale {

uint32_t DayNumber(const LocalDateTime& time) {
    return static_cast<uint32_t>(time.year) * 10000 + static_cast<uint32_t>(time.month) * 100 + time.day;
}

bool RotationDue(const RotationSettings& settings, const RotatingFile& file, uint64_t entryBytes, uint32_t today) {
    if (file.size == 0) return false;
    if (settings.maxBytes > 0 && file.size + entryBytes > settings.maxBytes) return true;
    // A clock put back keeps the file: only a later day starts a new one.
    return settings.daily && file.lastWrittenDay != 0 && file.lastWrittenDay < today;
}

std::string RotatedName(std::string_view name, uint32_t index) {
    if (index == 0) return std::string(name);
    const size_t component = name.find_last_of("\\/");
    const size_t start = component == std::string_view::npos ? 0 : component + 1;
    size_t dot = name.rfind('.');
    // A dot that opens the component (".log") names no extension.
    if (dot == std::string_view::npos || dot <= start) dot = name.size();
    return std::string(name.substr(0, dot)) + "." + std::to_string(index) + std::string(name.substr(dot));
}

std::vector<RotationStep> RotationPlan(uint32_t keep, const std::function<bool(uint32_t index)>& exists) {
    uint32_t firstMissing = 1;
    while (exists(firstMissing)) ++firstMissing;
    std::vector<RotationStep> steps;
    uint32_t top = firstMissing;
    if (keep > 0 && firstMissing > keep) {
        for (uint32_t index = firstMissing - 1; index > keep; --index) steps.push_back({index, 0, false});
        steps.push_back({keep, 0, true});
        top = keep;
    }
    for (uint32_t index = top; index > 0; --index) steps.push_back({index - 1, index, true});
    return steps;
}

bool TRotationRetries::MayTry(const std::string& name, Clock::time_point now) const {
    const auto failed = failedAt_.find(name);
    return failed == failedAt_.end() || now - failed->second >= kPause;
}

void TRotationRetries::Failed(const std::string& name, Clock::time_point now, std::string problem) {
    failedAt_[name] = now;
    problem_ = std::move(problem);
}

void TRotationRetries::Succeeded(const std::string& name) {
    failedAt_.erase(name);
    if (failedAt_.empty()) problem_.clear();
}

}  // namespace norvale
