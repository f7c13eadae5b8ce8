#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "capture/captured_writer.h"
#include "common/win32_resources.h"

namespace norvale {

// The writers met so far, by process id. Each known writer keeps a handle to
// its process, so that its id cannot pass to another process while it is
// known; the oldest writers that have ended are forgotten first once the
// count reaches the bound.
class TWriterNames {
public:
    static constexpr size_t kDefaultBound = 256;

    explicit TWriterNames(std::wstring machine, size_t bound = kDefaultBound);

    // The writer of a string that arrived at `arrived`. One that cannot be
    // opened (ended already, or out of reach) gets an empty image name, kept
    // for a second before it is looked up again; so does a string whose id
    // has passed to a process made after it arrived.
    std::shared_ptr<const CapturedWriter> Of(uint32_t processId, FILETIME arrived);

    size_t Known() const { return known_.size(); }

private:
    struct KnownWriter {
        // None for a writer that could not be opened.
        UniqueHandle process;
        std::shared_ptr<const CapturedWriter> writer;
        uint64_t lastUse = 0;
        // When a writer without a handle is looked up again (ticks).
        uint64_t retryAt = 0;
    };

    void MakeRoom();

    const std::wstring machine_;
    const size_t bound_;
    std::unordered_map<uint32_t, KnownWriter> known_;
    uint64_t uses_ = 0;
};

// The computer's name as the network knows it.
std::wstring LocalComputerName();

}  // namespace norvale
