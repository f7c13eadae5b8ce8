#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "debugger/debug_event_handover.h"

namespace norvale {

// `TDebugProcessThread`: one debugging run. Its thread starts the program, or
// attaches to the process, and hands every debug event over to the run's
// window, holding the debuggee at an event while the window asks for it,
// until the debuggee's process exits. The processes it starts are debugged
// along with it, and their events shown in the same window. It writes the
// dumps: the user's of a held event, and with `DumpOnCrash` (from the run's settings) one at every
// second-chance exception before it lets the debuggee go on.
class TDebugProcessThread {
public:
    // Runs `programPath` with the command line "<path> /debug".
    static std::unique_ptr<TDebugProcessThread> CreateForSpawn(std::shared_ptr<TDebugEventHandOver> handOver,
                                                               std::string programPath);
    static std::unique_ptr<TDebugProcessThread> CreateForAttach(std::shared_ptr<TDebugEventHandOver> handOver,
                                                                uint32_t processId);
    // Stops the hand-over, so every wait of the thread ends, and waits for
    // the thread.
    ~TDebugProcessThread();
    TDebugProcessThread(const TDebugProcessThread&) = delete;
    TDebugProcessThread& operator=(const TDebugProcessThread&) = delete;

private:
    TDebugProcessThread(std::shared_ptr<TDebugEventHandOver> handOver, std::string programPath, uint32_t processId);
    void Execute();
    // `processId`: the process started or attached to, whose exit ends the run.
    void DebugLoop(void* process, uint32_t processId);

    std::shared_ptr<TDebugEventHandOver> handOver_;
    const std::string programPath_;
    const uint32_t processId_;
    std::thread thread_;
};

}  // namespace norvale
