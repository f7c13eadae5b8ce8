#include "debugger/crash_report.h"

#include <algorithm>

#include "common/text.h"
#include "debugger/exception_code_name.h"
#include "debugger/exception_stack.h"
#include "debugger/process_view_model.h"

namespace norvale {

namespace {

std::string ModuleOf(std::string_view imageFile) {
    const size_t dot = imageFile.rfind('.');
    return AsciiLowerCase(imageFile.substr(0, dot));
}

std::string PlaceOf(const StackFrame& frame, int pointerSize) {
    if (frame.function.empty()) return StackFrameText(frame, pointerSize);
    // Without its module and offset: the text says where, the frames how.
    const std::string fileLine = FileLineText(frame);
    const std::string function = StackFrameText(StackFrame{.function = frame.function}, pointerSize);
    const std::string name = function.substr(0, function.rfind('+'));
    return fileLine.empty() ? name : name + " (" + fileLine + ")";
}

}  // namespace

std::optional<CrashReport> CrashReportOf(const DebugEventCopy& copy, uint32_t processId, std::string_view imageFile,
                                         bool stackWalked, bool endsRun) {
    const DebugEventRecord& e = copy.event;
    CrashReport report{processId, std::string(imageFile)};
    if (e.code == kExitProcessEvent && endsRun && e.exitCode != 0) {
        report.text = "Process exited with exit code $" + HexText(e.exitCode);
        return report;
    }
    if (e.code != kExceptionEvent || !stackWalked) return std::nullopt;
    const std::vector<StackFrame>& frames = copy.stack.frames;
    const std::string module = ModuleOf(imageFile);
    auto at = std::find_if(frames.begin(), frames.end(), [&](const StackFrame& f) {
        return !f.function.empty() && AsciiLowerCase(f.module) == module;
    });
    if (at == frames.end())
        at = std::find_if(frames.begin(), frames.end(), [](const StackFrame& f) { return !f.function.empty(); });
    if (at == frames.end() && !frames.empty()) at = frames.begin();
    const std::string place =
        at == frames.end() ? PointerText(e.exceptionAddress, copy.pointerSize) : PlaceOf(*at, copy.pointerSize);
    report.text = std::string(ExceptionCodeName(e.exceptionCode)) + " at " + place;
    report.frames = StackRows(copy.stack, copy.pointerSize);
    return report;
}

}  // namespace norvale
