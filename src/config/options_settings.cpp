#include "config/options_settings.h"

#include <algorithm>

#include "common/text.h"
#include "config/registry_values.h"

namespace norvale {

uint32_t WindowLinesFromText(std::string_view text) {
    text = TrimSpaces(text);
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) text.remove_prefix(1);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return kDefaultWindowLines;
    if (negative) return kMinWindowLines;
    // Past the upper bound more digits change nothing, so the sum stops
    // there and no length of text can overflow it.
    uint32_t value = 0;
    for (const char digit : text) {
        value = std::min(value * 10 + static_cast<uint32_t>(digit - '0'), kMaxWindowLines + 1);
    }
    return std::clamp(value, kMinWindowLines, kMaxWindowLines);
}

uint32_t CountFromText(std::string_view text, uint32_t fallback, uint32_t maximum) {
    text = TrimSpaces(text);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return fallback;
    uint64_t value = 0;
    for (const char digit : text) value = std::min<uint64_t>(value * 10 + static_cast<uint32_t>(digit - '0'), maximum);
    return static_cast<uint32_t>(value);
}

FileEncoding FileEncodingFromText(std::string_view text) {
    return AsciiLowerCase(text) == "utf-8" ? FileEncoding::Utf8 : FileEncoding::Ansi;
}

const char* FileEncodingText(FileEncoding encoding) { return encoding == FileEncoding::Utf8 ? "UTF-8" : "ANSI"; }

OptionsSettings ReadOptionsSettings(const OptionsLocation& location) {
    OptionsSettings settings;
    for (const OptionsFlag& flag : kOptionsFlags) {
        settings.*flag.member = ReadRegBool(location.root, location.subkey, flag.name, settings.*flag.member);
    }
    settings.WindowLines = WindowLinesFromText(ReadRegString(location.root, location.subkey, kWindowLinesValue, ""));
    settings.SyslogServer =
        ReadRegString(location.root, location.subkey, kSyslogServerValue, kDefaultSyslogServer);
    settings.ListenAddress = ReadRegString(location.root, location.subkey, kListenAddressValue, "");
    settings.ListenAllow = ReadRegString(location.root, location.subkey, kListenAllowValue, "");
    settings.fileEncoding =
        FileEncodingFromText(ReadRegString(location.root, location.subkey, kFileEncodingValue, ""));
    settings.FileMaxMB =
        CountFromText(ReadRegString(location.root, location.subkey, kFileMaxMBValue, ""), 0, kMaxFileMaxMB);
    settings.FileKeep = CountFromText(ReadRegString(location.root, location.subkey, kFileKeepValue, ""),
                                      kDefaultFileKeep, kMaxFileKeep);
    settings.DumpFolder = ReadRegString(location.root, location.subkey, kDumpFolderValue, "");
    if (TrimSpaces(settings.DumpFolder).empty()) settings.DumpFolder = kDefaultDumpFolder;
    settings.DumpKeep = std::max<uint32_t>(
        1, CountFromText(ReadRegString(location.root, location.subkey, kDumpKeepValue, ""), kDefaultDumpKeep,
                         kMaxDumpKeep));
    if (location.overrides) location.overrides(settings);
    return settings;
}

void WriteOptionsFlags(const OptionsLocation& location, const OptionsSettings& settings) {
    for (const OptionsFlag& flag : kOptionsFlags) {
        WriteRegBool(location.root, location.subkey, flag.name, settings.*flag.member);
    }
}

}  // namespace norvale
