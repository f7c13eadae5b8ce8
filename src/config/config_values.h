#pragma once

// What the properties dialog shows and stores, apart from its window: the
// output values in the order it reads and writes them, and the texts of its
// Status page.

#include <array>
#include <cstdint>
#include <string>

#include "config/registry_api.h"

namespace norvale {

// The flags of the dialog, in the order they are written.
enum class ConfigFlag : int {
    ToClients,
    ToConsole,
    ToMono,
    ToFile,
    ToCodeSite,
    FlushOutputFile,
    IncludeDateTime,
    IncludeProject,
    IncludeModule,
    IncludeClass,
    IncludeMachine,
    IncludeProcess,
    IncludeThread,
    IncludeCode,
};
constexpr int kConfigFlagCount = 14;

constexpr const char* kDefaultDebugFileName = "c:\\Debug.txt";

struct ConfigValues {
    std::array<bool, kConfigFlagCount> flags{};
    std::string fileName = kDefaultDebugFileName;

    bool& operator[](ConfigFlag flag) { return flags[static_cast<size_t>(flag)]; }
    bool operator[](ConfigFlag flag) const { return flags[static_cast<size_t>(flag)]; }
};

// Never fails: a missing or unreadable value gives its default.
ConfigValues LoadConfigValues(RegKey root, const std::string& subkey);

// The five outputs, the file name (as typed, not trimmed), then the flush
// flag and the eight fields. The first failing write raises
// `ERegistryError` and the rest are not written.
void SaveConfigValues(RegKey root, const std::string& subkey, const ConfigValues& values);

// The count of the Status page: the low 16 bits, in decimal.
std::string SessionCountText(int32_t openSessionCount);

}  // namespace norvale
