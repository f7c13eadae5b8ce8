#pragma once

// A debug event as the process window shows it: the members of the platform's
// DEBUG_EVENT that it reads, with every pointer-sized value widened to 64
// bits, plus the texts read out of the debuggee while it was stopped for the
// event. Plain data, so that what the window shows is decided and tested
// without the platform.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace norvale {

enum DebugEventCode : uint32_t {
    // No event of the platform's: the debugger's own note on the event it
    // holds, in `DebugEventCopy::dumpNote`.
    kDebuggerNoteEvent = 0,
    kExceptionEvent = 1,
    kCreateThreadEvent = 2,
    kCreateProcessEvent = 3,
    kExitThreadEvent = 4,
    kExitProcessEvent = 5,
    kLoadDllEvent = 6,
    kUnloadDllEvent = 7,
    kOutputDebugStringEvent = 8,
    kRipEvent = 9,
};

// The code with which programs built with the Delphi runtime raise their
// language exceptions.
constexpr uint32_t kDelphiExceptionCode = 0x0EEDFADE;

struct DebugEventRecord {
    uint32_t code = 0;

    // Exception
    uint32_t exceptionCode = 0;
    uint32_t exceptionFlags = 0;
    uint64_t exceptionAddress = 0;
    uint32_t numberParameters = 0;
    std::array<uint64_t, 15> exceptionInformation{};
    uint32_t firstChance = 0;

    // Thread and process creation
    uint64_t process = 0;  // hProcess
    uint64_t thread = 0;   // hThread
    uint64_t threadLocalBase = 0;
    uint64_t startAddress = 0;
    uint64_t baseOfImage = 0;

    // Process creation and module load
    uint64_t imageName = 0;  // lpImageName: where the pointer to the name is stored
    uint32_t debugInfoFileOffset = 0;
    uint32_t debugInfoSize = 0;
    uint32_t unicode = 0;  // fUnicode of the image name or of the debug string

    // Thread and process exit
    uint32_t exitCode = 0;

    // Module load and unload
    uint64_t baseOfDll = 0;

    // Debug string
    uint64_t debugStringData = 0;
    uint32_t debugStringLength = 0;

    // RIP
    uint32_t ripError = 0;
    uint32_t ripType = 0;
};

// What was read out of the debuggee for an event, as the debuggee holds it:
// 8-bit text of its code page, or UTF-16 where the event says so (one unit
// per wchar_t, also where wchar_t is wider). What the window makes of them is
// its own decision. Empty where nothing could be read or the event has no
// such text. Every member has an initializer, so that a table may name only
// those it sets.
struct DebuggeeTexts {
    std::string imageName{};        // process creation, module load
    std::string debugString{};      // debug string
    std::string delphiClassName{};  // Delphi exception
    std::wstring wideImageName{};
    std::wstring wideDebugString{};
};

// One frame of an exception's stack with what the symbols say of it, in
// UTF-8. Empty texts where they say nothing.
struct StackFrame {
    uint64_t address = 0;
    std::string module{};
    uint64_t moduleBase = 0;
    std::string function{};
    uint64_t displacement = 0;  // from the function's start
    std::string file{};
    uint32_t line = 0;
};

// The stack of the thread that raised an exception, walked while the
// debuggee was held. No frames and neither flag: no walk was made.
struct ExceptionStack {
    std::vector<StackFrame> frames{};
    // The walk reached its bound of frames or time before the stack's end.
    bool cutShort = false;
    // The platform gave no context for the thread (a 32-bit one where WOW64
    // contexts are not given).
    bool unavailable = false;
};

// One event on its way from the debugger thread to the window.
struct DebugEventCopy {
    DebugEventRecord event;
    DebuggeeTexts texts;
    ExceptionStack stack{};
    // 4 for a 32-bit debuggee, 8 for a 64-bit one: the width in which its
    // pointer-sized values are shown.
    int pointerSize = 8;
    // The thread holds the debuggee at this event until Continue is pressed.
    bool halted = false;
    // UTF-8: where a dump of the debuggee at this event went, or why it
    // could not be written; empty when none was asked for.
    std::string dumpNote{};
};

}  // namespace norvale
