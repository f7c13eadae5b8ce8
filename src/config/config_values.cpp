#include "config/config_values.h"

#include "config/registry_values.h"

namespace norvale {

namespace {

constexpr const char* kFlagNames[kConfigFlagCount] = {
    "ToClients",       "ToConsole",      "ToMono",       "ToFile",        "ToCodeSite",
    "FlushOutputFile", "IncludeDateTime", "IncludeProject", "IncludeModule", "IncludeClass",
    "IncludeMachine",  "IncludeProcess",  "IncludeThread",  "IncludeCode",
};

// The file name is read and written between the outputs and the rest.
constexpr int kFlagsBeforeFileName = static_cast<int>(ConfigFlag::FlushOutputFile);

}  // namespace


ConfigValues LoadConfigValues(RegKey root, const std::string& subkey) {
    ConfigValues values;
    for (int i = 0; i < kConfigFlagCount; ++i) values.flags[i] = ReadRegBool(root, subkey, kFlagNames[i], false);
    values.fileName = ReadRegString(root, subkey, "Filename", kDefaultDebugFileName);
    return values;
}

void SaveConfigValues(RegKey root, const std::string& subkey, const ConfigValues& values) {
    for (int i = 0; i < kConfigFlagCount; ++i) {
        if (i == kFlagsBeforeFileName) WriteRegString(root, subkey, "Filename", values.fileName);
        WriteRegBool(root, subkey, kFlagNames[i], values.flags[i]);
    }
}

std::string SessionCountText(int32_t openSessionCount) {
    return std::to_string(static_cast<uint16_t>(openSessionCount));
}

}  // namespace norvale
