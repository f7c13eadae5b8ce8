#pragma once

// The platform's side of an exception's stack: dbghelp's symbols of each
// debuggee process of a run, kept from its creation to its exit, and the walk
// over a held thread. Symbols are read from the debuggee's own files and the
// user's local symbol path only.

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "debugger/debug_event.h"

namespace norvale {

// Used by one debugger thread; dbghelp itself is shared by every run, and
// serialised inside.
class TDebuggeeSymbols {
public:
    TDebuggeeSymbols() = default;
    ~TDebuggeeSymbols();
    TDebuggeeSymbols(const TDebuggeeSymbols&) = delete;
    TDebuggeeSymbols& operator=(const TDebuggeeSymbols&) = delete;

    // At a process's creation event and at each module's load, while the
    // event's file is still open. `imagePath` may be empty: then the file's
    // own path is taken.
    void ProcessCreated(uint32_t processId, HANDLE process, HANDLE file, uint64_t base, std::wstring imagePath);
    void ModuleLoaded(uint32_t processId, HANDLE file, uint64_t base, std::wstring imagePath);
    void ModuleUnloaded(uint32_t processId, uint64_t base);
    void ProcessExited(uint32_t processId);

    // The stack of a thread held at an exception, with its symbols. Empty
    // for a process whose creation was not seen.
    ExceptionStack Walk(uint32_t processId, uint32_t threadId, int pointerSize);
    // The image's path as its creation gave it, else as its file's; empty
    // for a process whose creation was not seen.
    std::wstring ImagePath(uint32_t processId) const;

private:
    struct TProcess {
        HANDLE handle;
        std::wstring imagePath;
    };
    std::map<uint32_t, TProcess> processes_;
};

}  // namespace norvale
