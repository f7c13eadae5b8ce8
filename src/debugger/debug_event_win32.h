#pragma once

// The platform's side of a debug event: its record in plain form, and the
// debuggee's memory as the texts are read from it.

#include <windows.h>

#include "debugger/debug_event.h"
#include "debugger/debuggee_memory.h"
#include "debugger/debuggee_processes.h"

namespace norvale {

DebugEventRecord RecordOf(const DEBUG_EVENT& event);

// 4 for a 32-bit process on a 64-bit system, else this program's own.
int PointerSizeOf(HANDLE process);

class TProcessMemory final : public IDebuggeeMemory {
public:
    explicit TProcessMemory(HANDLE process) : process_(process) {}
    bool Read(uint64_t address, void* into, size_t size) override;

private:
    HANDLE process_;
};

// Reads through `process` without owning it.
TDebuggeeProcess DebuggeeProcessOf(HANDLE process);

}  // namespace norvale
