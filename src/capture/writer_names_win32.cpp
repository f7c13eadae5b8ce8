#include "capture/writer_names_win32.h"

#include <algorithm>

namespace norvale {

namespace {

constexpr uint64_t kRetryMilliseconds = 1000;

std::wstring ImageNameOf(HANDLE process) {
    wchar_t path[MAX_PATH * 4] = {};
    DWORD size = static_cast<DWORD>(std::size(path));
    if (!QueryFullProcessImageNameW(process, 0, path, &size)) return {};
    const std::wstring_view full(path, size);
    const size_t folderEnd = full.find_last_of(L"\\/");
    return std::wstring(folderEnd == std::wstring_view::npos ? full : full.substr(folderEnd + 1));
}

}  // namespace

std::wstring LocalComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = static_cast<DWORD>(std::size(name));
    return GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring();
}

TWriterNames::TWriterNames(std::wstring machine, size_t bound) : machine_(std::move(machine)), bound_(bound) {}

std::shared_ptr<const CapturedWriter> TWriterNames::Of(uint32_t processId, FILETIME arrived) {
    const uint64_t now = GetTickCount64();
    if (const auto known = known_.find(processId); known != known_.end()) {
        if (known->second.process || now < known->second.retryAt) {
            known->second.lastUse = ++uses_;
            return known->second.writer;
        }
        known_.erase(known);
    }
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId));
    FILETIME created{}, exited{}, kernel{}, user{};
    if (process && GetProcessTimes(process.get(), &created, &exited, &kernel, &user) &&
        CompareFileTime(&created, &arrived) > 0) {
        // The writer ended before its name was asked for, and its id went
        // to a newer process: that one's name would be wrong.
        return MakeCapturedWriter(machine_, processId, {});
    }
    std::wstring imageName = process ? ImageNameOf(process.get()) : std::wstring();
    auto writer = MakeCapturedWriter(machine_, processId, std::move(imageName));
    MakeRoom();
    known_.emplace(processId, KnownWriter{std::move(process), writer, ++uses_, now + kRetryMilliseconds});
    return writer;
}

void TWriterNames::MakeRoom() {
    if (known_.size() < bound_) return;
    // Ended writers go first, as no string of theirs can come any more;
    // among the living, the one heard from longest ago.
    std::erase_if(known_, [](const auto& known) {
        return !known.second.process || WaitForSingleObject(known.second.process.get(), 0) == WAIT_OBJECT_0;
    });
    if (known_.size() < bound_) return;
    const auto oldest = std::min_element(known_.begin(), known_.end(), [](const auto& a, const auto& b) {
        return a.second.lastUse < b.second.lastUse;
    });
    known_.erase(oldest);
}

}  // namespace norvale
