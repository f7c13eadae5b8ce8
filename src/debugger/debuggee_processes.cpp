#include "debugger/debuggee_processes.h"

#include <utility>

namespace norvale {

TDebuggeeProcesses::TDebuggeeProcesses(uint32_t firstId, TDebuggeeProcess first)
    : firstId_(firstId), first_(std::move(first)) {}

void TDebuggeeProcesses::Created(uint32_t processId, TDebuggeeProcess process) {
    processes_.insert_or_assign(processId, std::move(process));
}

void TDebuggeeProcesses::Read(uint32_t processId, DebugEventCopy& copy) {
    const TDebuggeeProcess& process = Of(processId);
    copy.pointerSize = process.pointerSize;
    copy.texts = ReadDebuggeeTexts(*process.memory, copy.event, process.pointerSize);
    if (copy.event.code == kExitProcessEvent) processes_.erase(processId);
}

bool TDebuggeeProcesses::EndsRun(uint32_t processId, const DebugEventRecord& event) const {
    return event.code == kExitProcessEvent && processId == firstId_;
}

const TDebuggeeProcess& TDebuggeeProcesses::Of(uint32_t processId) const {
    const auto known = processes_.find(processId);
    return known == processes_.end() ? first_ : known->second;
}

}  // namespace norvale
