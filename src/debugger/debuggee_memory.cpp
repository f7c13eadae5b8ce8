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

// The debuggee's characters are little endian whatever our own order, and a
// UTF-16 one goes into a wchar_t unchanged, however wide that is.
template <typename Char>
Char CharacterOf(const uint8_t* bytes) {
    if constexpr (sizeof(Char) == 1) {
        return static_cast<Char>(bytes[0]);
    } else {
        return static_cast<Char>(bytes[0] | (bytes[1] << 8));
    }
}

template <typename Char>
constexpr size_t kCharacterSize = sizeof(Char) == 1 ? 1 : 2;

template <typename Char>
std::basic_string<Char> ReadImageNameOf(IDebuggeeMemory& memory, uint64_t imageName, int pointerSize) {
    uint64_t name = 0;
    if (!ReadPointer(memory, imageName, pointerSize, name) || name == 0) return {};
    // One character at a time: a name near the end of a readable region
    // would fail as a whole in a single larger read.
    constexpr size_t size = kCharacterSize<Char>;
    std::basic_string<Char> text;
    for (size_t i = 0; i < kMaxImageName; ++i) {
        uint8_t bytes[2] = {};
        if (!memory.Read(name + i * size, bytes, size)) break;
        const Char c = CharacterOf<Char>(bytes);
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

template <typename Char>
std::basic_string<Char> ReadDebugStringOf(IDebuggeeMemory& memory, uint64_t data, uint32_t length) {
    const uint32_t size = std::min(length, kMaxDebugStringBytes);
    if (size == 0) return {};
    std::string bytes(size, '\0');
    if (!memory.Read(data, bytes.data(), bytes.size())) return {};
    if constexpr (sizeof(Char) == 1) {
        // Read straight into the text: a short string then costs no allocation.
        bytes.resize(std::min(bytes.find('\0'), bytes.size()));
        return bytes;
    } else {
        std::basic_string<Char> text;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const Char c = CharacterOf<Char>(reinterpret_cast<const uint8_t*>(bytes.data() + i));
            if (c == 0) break;
            text.push_back(c);
        }
        return text;
    }
}

}  // namespace

std::string ReadImageName(IDebuggeeMemory& memory, uint64_t imageName, int pointerSize) {
    return ReadImageNameOf<char>(memory, imageName, pointerSize);
}

std::wstring ReadWideImageName(IDebuggeeMemory& memory, uint64_t imageName, int pointerSize) {
    return ReadImageNameOf<wchar_t>(memory, imageName, pointerSize);
}

std::string ReadDebugString(IDebuggeeMemory& memory, uint64_t data, uint32_t length) {
    return ReadDebugStringOf<char>(memory, data, length);
}

std::wstring ReadWideDebugString(IDebuggeeMemory& memory, uint64_t data, uint32_t length) {
    return ReadDebugStringOf<wchar_t>(memory, data, length);
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
        if (event.unicode != 0) {
            texts.wideImageName = ReadWideImageName(memory, event.imageName, pointerSize);
        } else {
            texts.imageName = ReadImageName(memory, event.imageName, pointerSize);
        }
        break;
    case kOutputDebugStringEvent:
        if (event.unicode != 0) {
            texts.wideDebugString = ReadWideDebugString(memory, event.debugStringData, event.debugStringLength);
        } else {
            texts.debugString = ReadDebugString(memory, event.debugStringData, event.debugStringLength);
        }
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
