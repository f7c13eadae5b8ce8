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

// The longest image name read, in bytes.
constexpr size_t kMaxImageName = 260;

// The image name of a process-creation or module-load event: the fixed text
// "[unicode not supported yet]" when the name is UTF-16; otherwise the bytes
// up to the first zero of the string whose address is stored at `imageName`
// (a pointer of the debuggee's size), at most 260, an unreadable byte
// counting as zero. Empty when the pointer cannot be read.
std::string ReadImageName(IDebuggeeMemory& memory, uint64_t imageName, bool unicode, int pointerSize);

// The text of a debug-string event: exactly `length` bytes read at `data`,
// up to the first zero (a zero UTF-16 character when `unicode`), as 8-bit
// text. Empty when the bytes cannot be read.
std::string ReadDebugString(IDebuggeeMemory& memory, uint64_t data, uint32_t length, bool unicode);

// The class name of a Delphi exception object: the object's class pointer,
// the name pointer stored 8 slots (of the debuggee's pointer size) below the
// class pointer's target, the length byte there and that many characters
// after it. Empty when any read fails.
std::string ReadDelphiClassName(IDebuggeeMemory& memory, uint64_t object, int pointerSize);

// Everything of `event` that the window shows from the debuggee's memory.
DebuggeeTexts ReadDebuggeeTexts(IDebuggeeMemory& memory, const DebugEventRecord& event, int pointerSize);

}  // namespace norvale
