#pragma once

#include <string>

#include "debugger/crash_report.h"
#include "output/output_stage.h"

namespace norvale {

// A run's crashes as entries of the server's outputs, so that a program's
// trace lines and its end read as one timeline and a collector sees crashes
// across machines. Each is named as the program's captured debug output is:
// its image's file name as the module, its process id, this computer.
class TCrashDispatch final : public ICrashReports {
public:
    TCrashDispatch(TOutputStage& stage, std::wstring machine) : stage_(stage), machine_(std::move(machine)) {}
    // Waits for the output lock on the debugger's thread, never the main one.
    void Report(const CrashReport& report) noexcept override;

private:
    TOutputStage& stage_;
    const std::wstring machine_;
};

}  // namespace norvale
