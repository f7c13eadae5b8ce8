#include "debugger/exception_stack.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <utility>

#include "common/text.h"
#include "debugger/process_view_model.h"

namespace norvale {

namespace {

std::string HexOffset(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "+0x%" PRIx64, value);
    return text;
}

bool IsSymbolServer(std::string_view entry) {
    const std::string lower = AsciiLowerCase(entry);
    return lower.starts_with("srv*") || lower.starts_with("symsrv*");
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// Symbol and file names come from the debuggee's files.
std::string Shown(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return text;
}

}  // namespace

bool WantsStack(const DebugEventRecord& event, bool onFirstChance) {
    return event.code == kExceptionEvent && (event.firstChance == 0 || onFirstChance);
}

WalkedStack WalkStack(IStackSource& source, uint64_t pc, uint64_t sp, int pointerSize) {
    WalkedStack walked;
    walked.addresses.push_back(pc);
    const int64_t start = source.WalkClock();
    if (!source.InModule(pc)) {
        uint64_t caller = 0;
        if (!source.ReadPointer(sp, caller) || caller == 0) return walked;
        walked.addresses.push_back(caller);
        pc = caller;
        sp += static_cast<uint64_t>(pointerSize);
    }
    source.StartAt(pc, sp);
    bool atStart = true;
    for (uint64_t next = 0;;) {
        if (source.WalkClock() - start > kStackWalkBudgetMicroseconds) {
            walked.cutShort = true;
            break;
        }
        if (!source.NextFrame(next) || next == 0) break;
        // The walker's first frame is the one it was set on, already taken.
        if (std::exchange(atStart, false)) continue;
        if (walked.addresses.size() == kMaxStackFrames) {
            walked.cutShort = true;
            break;
        }
        walked.addresses.push_back(next);
    }
    return walked;
}

std::string SymbolSearchPath(const std::vector<std::string>& folders, std::string_view ntSymbolPath) {
    std::vector<std::string> entries;
    auto add = [&](std::string_view entry) {
        entry = Trimmed(entry);
        if (entry.empty() || IsSymbolServer(entry)) return;
        const std::string lower = AsciiLowerCase(entry);
        if (std::none_of(entries.begin(), entries.end(),
                         [&](const std::string& e) { return AsciiLowerCase(e) == lower; }))
            entries.emplace_back(entry);
    };
    for (const std::string& folder : folders) add(folder);
    for (size_t start = 0; start <= ntSymbolPath.size();) {
        size_t end = ntSymbolPath.find(';', start);
        if (end == std::string_view::npos) end = ntSymbolPath.size();
        add(ntSymbolPath.substr(start, end - start));
        start = end + 1;
    }
    std::string path;
    for (const std::string& entry : entries) path += (path.empty() ? "" : ";") + entry;
    return path;
}

std::string FileLineText(const StackFrame& frame) {
    if (frame.file.empty()) return {};
    // DWARF names a file with forward slashes.
    std::string file = frame.file;
    std::replace(file.begin(), file.end(), '/', '\\');
    return Shown(FileNameOfPath(file)) + ":" + std::to_string(frame.line);
}

std::string StackFrameText(const StackFrame& frame, int pointerSize) {
    if (!frame.function.empty()) {
        std::string text = (frame.module.empty() ? "" : Shown(frame.module) + "!") + Shown(frame.function) +
                           HexOffset(frame.displacement);
        if (!frame.file.empty()) text += " " + FileLineText(frame);
        return text;
    }
    if (!frame.module.empty()) return Shown(frame.module) + HexOffset(frame.address - frame.moduleBase);
    return PointerText(frame.address, pointerSize);
}

std::vector<std::string> StackRows(const ExceptionStack& stack, int pointerSize) {
    std::vector<std::string> rows;
    if (stack.unavailable) rows.emplace_back(kStackUnavailableText);
    for (const StackFrame& frame : stack.frames) rows.push_back(StackFrameText(frame, pointerSize));
    if (stack.cutShort) rows.emplace_back(kStackCutShortText);
    return rows;
}

}  // namespace norvale
