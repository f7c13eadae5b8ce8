#pragma once

// The `Options` key: how entries reach the trace window, how many of them it
// keeps, whether other programs' debug output is captured, and the choice of
// Unicode text. Stored and read like the `Output` values: text values, flags
// as "1" and "0", and a value that cannot be read is its default, silently.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "config/registry_api.h"

namespace norvale {

// How the output file and the console get their text: the system's 8-bit
// code page, or UTF-8 made from the client's UTF-16 text.
enum class FileEncoding { Ansi, Utf8 };

inline constexpr uint32_t kDefaultWindowLines = 100000;
inline constexpr const char* kDefaultSyslogServer = "udp://127.0.0.1:514";
inline constexpr uint32_t kMinWindowLines = 1000;
inline constexpr uint32_t kMaxWindowLines = 10000000;
inline constexpr uint32_t kDefaultFileKeep = 10;
// Beyond these a number is taken as the bound: a tebibyte, and more older
// files than anyone lists.
inline constexpr uint32_t kMaxFileMaxMB = 1024 * 1024;
inline constexpr uint32_t kMaxFileKeep = 9999;
// Where Windows Error Reporting puts the dumps it keeps for the user: a
// debugging user finds the debugger's beside them, out of roaming profiles.
inline constexpr const char* kDefaultDumpFolder = "%LOCALAPPDATA%\\CrashDumps";
inline constexpr uint32_t kDefaultDumpKeep = 10;
inline constexpr uint32_t kMaxDumpKeep = 1000;

struct OptionsSettings {
    bool ToWindow = true;
    uint32_t WindowLines = kDefaultWindowLines;
    // Every program's debug output as a second input: the user's session,
    // and with it the machine-wide stream.
    bool CaptureDebugOutput = false;
    bool CaptureGlobal = false;
    FileEncoding fileEncoding = FileEncoding::Ansi;
    // Process windows show UTF-16 names and debug strings as they are,
    // rather than through the code page.
    bool UnicodeNames = false;
    // Process windows walk the stack of first-chance exceptions too, not
    // only of second-chance ones: a walk costs far more than the event.
    bool StackOnFirstChance = false;
    // Every entry as a syslog message to a log collector.
    bool ToSyslog = false;
    std::string SyslogServer = kDefaultSyslogServer;
    // Other machines' syslog as an input, on the addresses the user chose:
    // there is no default address.
    bool ListenSyslog = false;
    std::string ListenAddress = {};
    // The senders taken from (`ParseSenderAllow`); empty: every sender.
    std::string ListenAllow = {};
    // The output file starts anew past this many MiB (0: never) and at the
    // first entry of a new day; this many older files stay (0: all).
    uint32_t FileMaxMB = 0;
    bool FileDaily = false;
    uint32_t FileKeep = kDefaultFileKeep;
    // A dump of a debugged program at each of its second-chance exceptions,
    // into the folder (environment variables expanded), of each program the
    // newest `DumpKeep` (1 at least) kept.
    bool DumpOnCrash = false;
    std::string DumpFolder = kDefaultDumpFolder;
    uint32_t DumpKeep = kDefaultDumpKeep;
};

// Where the options are kept: the per-user `Options` key, unless a test or
// another program (the agent, with its own key) points elsewhere.
struct OptionsLocation {
    RegKey root = RegCurrentUser();
    std::string subkey = kOptionsSettingsKey;
    // What a run puts over the stored values (a program's switches).
    std::function<void(OptionsSettings&)> overrides = {};

    static constexpr const char* kOptionsSettingsKey = "Software\\brantwick\\Norvale\\Options";
};

// The key's flags by value name, in the order they are read and written: a
// new flag is its member above and its row here.
struct OptionsFlag {
    const char* name;
    bool OptionsSettings::*member;
};
inline constexpr OptionsFlag kOptionsFlags[] = {
    {"ToWindow", &OptionsSettings::ToWindow},
    {"CaptureDebugOutput", &OptionsSettings::CaptureDebugOutput},
    {"CaptureGlobal", &OptionsSettings::CaptureGlobal},
    {"UnicodeNames", &OptionsSettings::UnicodeNames},
    {"ToSyslog", &OptionsSettings::ToSyslog},
    {"ListenSyslog", &OptionsSettings::ListenSyslog},
    {"FileDaily", &OptionsSettings::FileDaily},
    {"StackOnFirstChance", &OptionsSettings::StackOnFirstChance},
    {"DumpOnCrash", &OptionsSettings::DumpOnCrash},
};

// Stored as the user typed it; the reader decodes it.
inline constexpr const char* kWindowLinesValue = "WindowLines";

inline constexpr const char* kSyslogServerValue = "SyslogServer";
inline constexpr const char* kListenAddressValue = "ListenAddress";
inline constexpr const char* kListenAllowValue = "ListenAllow";

// Stored as typed, like `WindowLines`; read by `CountFromText`.
inline constexpr const char* kFileMaxMBValue = "FileMaxMB";
inline constexpr const char* kFileKeepValue = "FileKeep";
inline constexpr const char* kDumpKeepValue = "DumpKeep";
// Empty or missing: the default folder.
inline constexpr const char* kDumpFolderValue = "DumpFolder";

// "UTF-8" in any letter case; any other text, or none, is the code page.
inline constexpr const char* kFileEncodingValue = "FileEncoding";
FileEncoding FileEncodingFromText(std::string_view text);
// As the dialog stores it: "ANSI" or "UTF-8".
const char* FileEncodingText(FileEncoding encoding);

// A decimal number, spaces around it and a sign allowed, taken to the
// nearest bound; any other text, the empty one included, is the default.
uint32_t WindowLinesFromText(std::string_view text);

// Decimal digits, spaces around them allowed, taken as `maximum` beyond it;
// any other text, the empty one and a sign included, is `fallback`.
uint32_t CountFromText(std::string_view text, uint32_t fallback, uint32_t maximum);

OptionsSettings ReadOptionsSettings(const OptionsLocation& location);

// Every flag as "1" or "0". The first failing write raises `ERegistryError`
// and the rest are not written.
void WriteOptionsFlags(const OptionsLocation& location, const OptionsSettings& settings);

}  // namespace norvale
