#pragma once

// The processes of one debugging run. A program started under the debugger
// brings the programs it starts along (under Wine a console program brings
// its console host), their events interleaved with its own; the pointers of
// an event point into the memory of the process it comes from, in that
// process's width, and a short-lived child must not end the run.

#include <cstdint>
#include <map>
#include <memory>

#include "debugger/debug_event.h"
#include "debugger/debuggee_memory.h"

namespace norvale {

// One debuggee as its events are read: its memory, and 4 or 8 as it is a
// 32-bit or a 64-bit process.
struct TDebuggeeProcess {
    std::unique_ptr<IDebuggeeMemory> memory;
    int pointerSize = 8;
};

class TDebuggeeProcesses {
public:
    // `first`: the program started or attached to. Its exit ends the run, and
    // its memory also serves the events of a process whose creation was not
    // seen.
    TDebuggeeProcesses(uint32_t firstId, TDebuggeeProcess first);

    // At a process's creation event, before that event is read.
    void Created(uint32_t processId, TDebuggeeProcess process);

    // The texts and pointer size of `copy`'s event, from the process it came
    // from. Its exit event forgets the process: the platform closes the
    // process's handle once that event is continued, and may give the id to
    // a new process.
    void Read(uint32_t processId, DebugEventCopy& copy);

    // Only the first process's exit: a child that ends first leaves the run
    // going, and one that outlives the first ends with the run's thread (the
    // platform ends whatever a debugger leaves behind).
    bool EndsRun(uint32_t processId, const DebugEventRecord& event) const;

private:
    const TDebuggeeProcess& Of(uint32_t processId) const;

    const uint32_t firstId_;
    const TDebuggeeProcess first_;
    std::map<uint32_t, TDebuggeeProcess> processes_;
};

}  // namespace norvale
