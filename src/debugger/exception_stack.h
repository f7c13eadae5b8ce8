#pragma once

// An exception's stack in plain code: which events get one, how far a walk
// goes, where symbols are searched, and how a frame reads. The platform's
// walker and symbol reader sit behind `IStackSource` and in
// exception_stack_win32.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "debugger/debug_event.h"

namespace norvale {

// At most this many frames are shown; the first symbol load of a module is
// not counted in the time.
constexpr size_t kMaxStackFrames = 32;
constexpr int64_t kStackWalkBudgetMicroseconds = 500000;

constexpr std::string_view kStackCutShortText = "Stack cut short";
constexpr std::string_view kStackUnavailableText = "Stack not available";

// Every second-chance exception; first-chance ones with `onFirstChance`.
bool WantsStack(const DebugEventRecord& event, bool onFirstChance);

// The platform's side of one walk over a held thread.
class IStackSource {
public:
    virtual ~IStackSource() = default;
    // Whether a loaded module holds `address`.
    virtual bool InModule(uint64_t address) = 0;
    // A pointer of the debuggee's size at `address`.
    virtual bool ReadPointer(uint64_t address, uint64_t& value) = 0;
    // Sets the walker on the frame at `pc` with its stack at `sp`.
    virtual void StartAt(uint64_t pc, uint64_t sp) = 0;
    // The walker's next frame's address, the first call giving the frame it
    // was set on; false at the stack's end or when the walker is lost.
    virtual bool NextFrame(uint64_t& pc) = 0;
    // Microseconds from any fixed point, less what loading modules' symbols
    // the first time took.
    virtual int64_t WalkClock() = 0;
};

struct WalkedStack {
    std::vector<uint64_t> addresses;
    bool cutShort = false;
};

// The first frame is `pc`, whatever the walker gives. Where `pc` lies in no
// module (a jump through a bad pointer) the return address at `sp` is taken
// as one step and the walker goes on from there.
WalkedStack WalkStack(IStackSource& source, uint64_t pc, uint64_t sp, int pointerSize);

// The search path for symbols: the debuggee's folders, then the user's
// `_NT_SYMBOL_PATH` without its symbol-server entries (`srv*`, `symsrv*`),
// as nothing is fetched from a network. Empty and repeated entries go.
std::string SymbolSearchPath(const std::vector<std::string>& folders, std::string_view ntSymbolPath);

// "module!function+0x1c file.c:12", "module+0x1a2b" without a symbol, the
// bare address outside every module. The file without its folder.
std::string StackFrameText(const StackFrame& frame, int pointerSize);
// "file.c:12", empty without a file.
std::string FileLineText(const StackFrame& frame);

// A stack's rows: "Stack not available", or a row per frame and "Stack cut
// short" after them when the walk ran out.
std::vector<std::string> StackRows(const ExceptionStack& stack, int pointerSize);

}  // namespace norvale
