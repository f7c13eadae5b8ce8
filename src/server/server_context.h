#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/clock.h"
#include "common/mutex.h"
#include "output/output_stage.h"
#include "server/com_class.h"
#include "server/session_registry.h"

namespace norvale {

class TServerInstance;

// What the process gives its server objects: the state that outlives any one
// of them, the two classes of the type library, and the hooks into the
// platform layer.
struct TServerContext {
    TMutex& OutputLock;
    // The process's output stage: its settings and file, shared by the
    // server objects one after another and by the process's other inputs.
    TOutputStage& Output;
    TSessionRegistry& Registry;
    TServerInstance& Instance;
    const TComClass& NorvaleClass;
    const TComClass& SessionClass;
    // The server object's weak entry in the running-object table. Off only in
    // tests that host the objects in their own process: there the table's
    // marshaling stub keeps a reference, so no object would ever end.
    bool EnterInRunningObjectTable = true;
    // The process's object count: a server object is counted while it lives.
    std::function<void()> ObjectCreated = [] {};
    std::function<void()> ObjectDestroyed = [] {};
    // Texts of the debugger requests; they reach no output.
    std::function<void(const std::string&)> Diagnostic = [](const std::string&) {};
    // A client's time in a batch as local time; raises for one that cannot be.
    std::function<LocalDateTime(uint64_t utcTicks)> LocalTimeOf = LocalTimeOfFileTime;
    // Starts a debugging run for a process; called on a call thread.
    std::function<void(uint32_t processId)> AttachToProcess = [](uint32_t) {};
};

}  // namespace norvale
