#pragma once

// Reading texts out of a debuggee's memory, over whatever gives the bytes (the
// process's memory under the platform, a fake one in tests).

#include <cstddef>
#include <cstdint>
#include <string>

#include "debugger/debug_event.h"

namespace norvale {

class IDebuggeeMemory {
public:
    virtual ~IDebuggeeMemory() = default;
    // Copies `size` bytes at `address`; false when any of them cannot be read.
    virtual bool Read(uint64_t address, void* into, size_t size) = 0;
};

// The longest image name read, in characters (bytes or UTF-16 units).
constexpr size_t kMaxImageName = 260;

// The image name of a process-creation or module-load event, from the
// string whose address is stored at `imageName` (a pointer of the debuggee's
// size): its characters up to the first zero, at most 260, an unreadable one
// counting as zero. Empty when the pointer cannot be read or is null. The
// first reads 8-bit text, the second UTF-16.
std::string ReadImageName(IDebuggeeMemory& memory, uint64_t imageName, int pointerSize);
std::wstring ReadWideImageName(IDebuggeeMemory& memory, uint64_t imageName, int pointerSize);

// The text of a debug-string event: exactly `length` bytes read at `data`,
// up to the first zero character within them. Empty when the bytes cannot be
// read. The first reads 8-bit text, the second UTF-16 (an odd last byte is no
// character).
std::string ReadDebugString(IDebuggeeMemory& memory, uint64_t data, uint32_t length);
std::wstring ReadWideDebugString(IDebuggeeMemory& memory, uint64_t data, uint32_t length);

// The class name of a Delphi exception object: the object's class pointer,
// the name pointer stored 8 slots (of the debuggee's pointer size) below the
// class pointer's target, the length byte there and that many characters
// after it. Empty when any read fails.
std::string ReadDelphiClassName(IDebuggeeMemory& memory, uint64_t object, int pointerSize);

// Everything of `event` that the window shows from the debuggee's memory.
DebuggeeTexts ReadDebuggeeTexts(IDebuggeeMemory& memory, const DebugEventRecord& event, int pointerSize);

}  // namespace norvale
