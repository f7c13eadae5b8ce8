#pragma once

// The dumps the debugger keeps of a program that crashes: their names, which
// of a folder's files are a program's dumps, which of them go, and the texts
// a process window shows of a dump. Plain code; the writing is
// `crash_dump_win32`'s.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/options_settings.h"

namespace norvale {

// `DumpOnCrash`, `DumpFolder` and `DumpKeep` as a run takes them when it
// starts; the folder as the user wrote it, environment variables and all.
struct CrashDumpSettings {
    bool onCrash = false;
    std::string folder = kDefaultDumpFolder;
    uint32_t keep = kDefaultDumpKeep;
};

CrashDumpSettings CrashDumpSettingsOf(const OptionsSettings& options);

// When a dump is written, in local time.
struct DumpTime {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
};

// A program's name as its dumps' names begin: its image's file name, UTF-8,
// without folder and extension, every character a file name cannot hold
// (controls, `<>:"/\|?*`) as '_', trailing dots and blanks dropped, at most
// `kMaxDumpProgramBytes` bytes (cut between characters); "process" when
// nothing is left.
inline constexpr size_t kMaxDumpProgramBytes = 64;
std::string DumpProgramName(std::string_view imagePath);

// `PROGRAM_PID_YYYYMMDD-HHMMSS.dmp`, `program` as `DumpProgramName` made it.
std::string CrashDumpFileName(std::string_view program, uint32_t processId, const DumpTime& time);

// The names among `names` (file names in a dump folder) that go when
// `justWritten` has been written there: of the names that are `program`'s
// dumps (its name in any ASCII letter case, then exactly the pattern above),
// the newest `keep` stay, `justWritten` always among them, and a `keep`
// below 1 counts as 1. Newest by the time in the name, then by process id.
// Every other name, also one of another program whose name begins with this
// one's, stays.
std::vector<std::string> DumpsToDelete(const std::vector<std::string>& names, std::string_view program,
                                       std::string_view justWritten, uint32_t keep);

// The detail row of the event a dump was written at, or why it was not.
std::string DumpWrittenNote(std::string_view path);
std::string DumpFailedNote(std::string_view path, std::string_view reason);

}  // namespace norvale
