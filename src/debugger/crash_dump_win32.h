#pragma once

// Minidumps of a debuggee held at an event, written by the debugger thread
// that holds it.

#include <windows.h>

#include <string>

#include "debugger/crash_dumps.h"

namespace norvale {

// A minidump of the process `event` came from: its threads, modules and
// data, and for an exception the exception's record with the faulting
// thread's context. A file that could not be written whole is removed.
// Raises ENorvaleError with the reason.
void WriteMiniDump(const DEBUG_EVENT& event, const std::wstring& path);

// "Save dump…": the note of the held event, where the dump went or why not.
std::string SaveDumpNote(const DEBUG_EVENT& event, const std::wstring& path);

// At a second-chance exception: a dump into the settings' folder, made if
// missing, under the name `CrashDumpFileName` gives; then the program's dumps
// past the newest `keep` go. The note says where it went or why not. Never
// raises: the debuggee goes on whatever became of its dump.
std::string WriteCrashDump(const CrashDumpSettings& settings, const DEBUG_EVENT& event);

}  // namespace norvale
