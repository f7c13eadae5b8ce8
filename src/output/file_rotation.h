#pragma once

// When the output file starts anew, what its older files are called, and
// which of them go: decided in plain code over plain values, applied by the
// file output.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"

namespace norvale {

// The `Options` values as the file output applies them.
struct RotationSettings {
    uint64_t maxBytes = 0;  // 0: no limit
    bool daily = false;
    uint32_t keep = 10;  // older files that stay; 0: all

    bool On() const { return maxBytes > 0 || daily; }
};

// The file as it stands before the next entry.
struct RotatingFile {
    uint64_t size = 0;
    // The local day it was last written (`DayNumber`); 0 when unknown.
    uint32_t lastWrittenDay = 0;
};

// A local date as one comparable number: 2026-12-09 is 20261209.
uint32_t DayNumber(const LocalDateTime& time);

// Whether `entryBytes` more begin a new file. An empty file never rotates,
// so an entry larger than the limit goes whole into a fresh file.
bool RotationDue(const RotationSettings& settings, const RotatingFile& file, uint64_t entryBytes, uint32_t today);

// `NAME.EXT` as its `index`th older file, `NAME.index.EXT`; index 0 is the
// name itself. The extension is what follows the last dot of the last path
// component; a name without one gets the number at its end.
std::string RotatedName(std::string_view name, uint32_t index);

// One step of a rotation over the files' indexes: a rename of `from` to
// `to`, or, when `to` is 0, the deletion of `from`. A step that is not
// `required` may fail without stopping the rotation: it is tried again at
// the next one.
struct RotationStep {
    uint32_t from = 0;
    uint32_t to = 0;
    bool required = true;

    bool operator==(const RotationStep&) const = default;
};

// The steps that free index 1 for the current file, in order. Files move up
// only as far as the first missing index, so a rotation that stopped half way
// goes on where it stopped and never deletes a file it had moved; with
// `keep` files kept, the one that would pass it is deleted first, and any
// left beyond it from earlier are deleted when they can be.
std::vector<RotationStep> RotationPlan(uint32_t keep, const std::function<bool(uint32_t index)>& exists);

// The names whose rotation a file in the way stopped: none is tried again
// before a second has passed, and what stopped the latest is said until
// every name has rotated.
class TRotationRetries {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kPause{1};

    bool MayTry(const std::string& name, Clock::time_point now) const;
    void Failed(const std::string& name, Clock::time_point now, std::string problem);
    void Succeeded(const std::string& name);
    // Empty while nothing is in the way.
    const std::string& Problem() const { return problem_; }

private:
    std::map<std::string, Clock::time_point> failedAt_;
    std::string problem_;
};

}  // namespace norvale
