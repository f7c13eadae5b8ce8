#include "debugger/debuggee_memory.h"

#include <algorithm>

namespace norvale {

namespace {

// A debuggee can claim any length for its debug string; more than this is
// never copied out of it.
constexpr uint32_t kMaxDebugStringBytes = 64 * 1024;

// A class pointer holds the address of the class's method table; the class
// record's name pointer sits this many pointer-sized slots below it.
constexpr uint64_t kClassNameSlot = 8;

uint64_t SlotSize(int pointerSize) { return pointerSize == 4 ? 4 : 8; }

bool ReadPointer(IDebuggeeMemory& memory, uint64_t address, int pointerSize, uint64_t& pointer) {
    uint8_t bytes[8] = {};
    const size_t size = SlotSize(pointerSize);
    if (!memory.Read(address, bytes, size)) return false;
    // Assembled by hand, so that a 32-bit debuggee's pointer fills only the
    // low half whatever our own width.
    pointer = 0;
    for (size_t i = size; i-- > 0;) pointer = (pointer << 8) | bytes[i];
    return true;
}

}  // namespace

std::string ReadImageName(IDebuggeeMemory& memory, uint64_t imageName, bool unicode, int pointerSize) {
    if (unicode) return "[unicode not supported yet]";
    uint64_t name = 0;
    if (!ReadPointer(memory, imageName, pointerSize, name) || name == 0) return {};
    // One byte at a time: a name near the end of a readable region would fail
    // as a whole in a single larger read.
    std::string text;
    for (size_t i = 0; i < kMaxImageName; ++i) {
        char c = 0;
        if (!memory.Read(name + i, &c, 1) || c == 0) break;
        text.push_back(c);
    }
    return text;
}

std::string ReadDebugString(IDebuggeeMemory& memory, uint64_t data, uint32_t length, bool unicode) {
    const uint32_t size = std::min(length, kMaxDebugStringBytes);
    if (size == 0) return {};
    // Read straight into the text: a short string then costs no allocation.
    std::string bytes(size, '\0');
    if (!memory.Read(data, bytes.data(), bytes.size())) return {};
    if (!unicode) {
        bytes.resize(std::min(bytes.find('\0'), bytes.size()));
        return bytes;
    }
    // The system code page's conversion is not at hand off the platform, so
    // everything beyond ASCII shows as '?', one per UTF-16 unit.
    std::string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto low = static_cast<uint8_t>(bytes[i]);
        const auto high = static_cast<uint8_t>(bytes[i + 1]);
        const auto unit = static_cast<uint16_t>(low | (high << 8));
        if (unit == 0) break;
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return text;
}

std::string ReadDelphiClassName(IDebuggeeMemory& memory, uint64_t object, int pointerSize) {
    const uint64_t slots = kClassNameSlot * SlotSize(pointerSize);
    uint64_t classPointer = 0;
    if (!ReadPointer(memory, object, pointerSize, classPointer) || classPointer < slots) return {};
    uint64_t namePointer = 0;
    if (!ReadPointer(memory, classPointer - slots, pointerSize, namePointer)) return {};
    uint8_t length = 0;
    if (!memory.Read(namePointer, &length, 1)) return {};
    std::string name(size_t{length} + 1, '\0');
    if (!memory.Read(namePointer, name.data(), name.size())) return {};
    return name.substr(1);
}

DebuggeeTexts ReadDebuggeeTexts(IDebuggeeMemory& memory, const DebugEventRecord& event, int pointerSize) {
    DebuggeeTexts texts;
    switch (event.code) {
    case kCreateProcessEvent:
    case kLoadDllEvent:
        texts.imageName = ReadImageName(memory, event.imageName, event.unicode != 0, pointerSize);
        break;
    case kOutputDebugStringEvent:
        texts.debugString =
            ReadDebugString(memory, event.debugStringData, event.debugStringLength, event.unicode != 0);
        break;
    case kExceptionEvent:
        if (event.exceptionCode == kDelphiExceptionCode && event.numberParameters >= 2) {
            texts.delphiClassName = ReadDelphiClassName(memory, event.exceptionInformation[1], pointerSize);
        }
        break;
    default:
        break;
    }
    return texts;
}

}  // namespace norvale
