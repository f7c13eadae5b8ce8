#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "common/utf8_text.h"
#include "debugger/debuggee_memory.h"
#include "debugger/debuggee_processes.h"

namespace norvale {
namespace {

// The debuggee's address space: only the bytes put there can be read; a
// read may run across regions that touch.
class FakeMemory : public IDebuggeeMemory {
public:
    bool Read(uint64_t address, void* into, size_t size) override {
        auto* out = static_cast<char*>(into);
        while (size > 0) {
            const auto next = regions_.upper_bound(address);
            if (next == regions_.begin()) return false;
            const auto& [start, bytes] = *std::prev(next);
            const uint64_t offset = address - start;
            if (offset >= bytes.size()) return false;
            const size_t count = std::min<size_t>(size, bytes.size() - offset);
            std::memcpy(out, bytes.data() + offset, count);
            out += count;
            address += count;
            size -= count;
        }
        return true;
    }
    void Put(uint64_t address, std::string bytes) { regions_[address] = std::move(bytes); }
    // Little endian, as the debuggee stores it.
    void PutPointer(uint64_t address, uint64_t pointer, int size) {
        std::string bytes;
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>(pointer >> (8 * i)));
        Put(address, bytes);
    }
    void PutUtf16(uint64_t address, std::u16string_view text) {  // in our order, little endian as the debuggee's
        Put(address, std::string(reinterpret_cast<const char*>(text.data()), 2 * text.size()));
    }

private:
    std::map<uint64_t, std::string> regions_;
};

TEST(DebuggeeMemoryTest, ImageName) {
    FakeMemory memory;
    memory.PutPointer(0x1000, 0x2000, 8);
    memory.Put(0x2000, std::string("C:\\w\\app.exe\0junk", 17));
    // Nonzero bytes after a 4-byte pointer: an 8-byte read would point elsewhere.
    memory.PutPointer(0x1100, 0x2100, 4);
    memory.Put(0x1104, "\x7f\x7f\x7f\x7f");
    memory.Put(0x2100, std::string("x.dll\0", 6));
    memory.PutPointer(0x1200, 0, 8);
    memory.PutPointer(0x1300, 0x3000, 8);
    memory.Put(0x3000, std::string(300, 'a'));
    memory.PutPointer(0x1400, 0x4000, 8);
    memory.Put(0x4000, "ab");
    memory.Put(0x4003, std::string("cd\0", 3));
    memory.PutPointer(0x1500, 0x5000, 8);
    memory.Put(0x5000, "end");  // the last readable bytes, with no zero after them
    memory.PutPointer(0x1600, 0x2000, 4);
    memory.Put(0x1604, "\0\0\0");  // a 4-byte pointer at the end of readable memory
    memory.PutPointer(0x1700, 0x6000, 4);
    memory.PutUtf16(0x6000, std::u16string_view(u"C:\\\u4e2d\U0001F600.dll\0junk", 15));

    const struct {
        uint64_t address;
        bool unicode;
        int pointerSize;
        std::string name;
    } cases[] = {
        {0x1000, false, 8, "C:\\w\\app.exe"},
        {0x1100, false, 4, "x.dll"},
        {0x1600, false, 4, "C:\\w\\app.exe"},
        {0x1600, false, 8, ""},
        {0x1200, false, 8, ""},
        {0x9000, false, 8, ""},
        {0x1300, false, 8, std::string(260, 'a')},
        {0x1400, false, 8, "ab"},
        {0x1500, false, 8, "end"},
        {0x1700, true, 4, "C:\\\xE4\xB8\xAD\xF0\x9F\x98\x80.dll"},
        {0x9000, true, 4, ""},
    };
    for (const auto& c : cases) {
        const std::string name = c.unicode ? WideToUtf8(ReadWideImageName(memory, c.address, c.pointerSize))
                                           : ReadImageName(memory, c.address, c.pointerSize);
        EXPECT_EQ(name, c.name)
            << std::hex << c.address << " unicode " << c.unicode << " size " << c.pointerSize;
    }
}

TEST(DebuggeeMemoryTest, DebugString) {
    FakeMemory memory;
    memory.Put(0x1000, std::string("hello\0junk", 10));
    memory.Put(0x2000, "caf\xe9");
    memory.PutUtf16(0x3000, std::u16string_view(u"Hi\u00e9\U0001F600\0x", 7));
    memory.Put(0x4000, std::string("H\0i\0!", 5));
    memory.Put(0x5000, std::string(70000, 'x'));

    const struct {
        uint64_t data;
        uint32_t length;
        bool unicode;
        std::string text;
    } cases[] = {
        {0x1000, 10, false, "hello"},
        {0x1000, 3, false, "hel"},
        {0x2000, 4, false, "caf\xe9"},
        {0x2000, 5, false, ""},  // one byte beyond what can be read
        {0x2000, 0, false, ""},
        {0x3000, 14, true, "Hi\xC3\xA9\xF0\x9F\x98\x80"},
        {0x3000, 4, true, "Hi"},
        {0x4000, 5, true, "Hi"},  // the odd byte is no character
        {0x5000, 70000, false, std::string(64 * 1024, 'x')},
        {0x5000, 0xFFFFFFFF, false, std::string(64 * 1024, 'x')},
        {0x90000, 4, true, ""},
    };
    for (const auto& c : cases) {
        const std::string text = c.unicode ? WideToUtf8(ReadWideDebugString(memory, c.data, c.length))
                                           : ReadDebugString(memory, c.data, c.length);
        EXPECT_EQ(text, c.text)
            << std::hex << c.data << " length " << c.length << " unicode " << c.unicode;
    }
}

TEST(DebuggeeMemoryTest, DelphiClassName) {
    FakeMemory memory;
    // 32-bit: the name pointer 8 slots of 4 bytes below the class.
    memory.PutPointer(0x5000, 0x6020, 4);
    memory.PutPointer(0x6000, 0x7000, 4);
    memory.Put(0x7000, "\x08" "EMyErrorZZ");
    // 64-bit: 8 slots of 8 bytes.
    memory.PutPointer(0x5100, 0x6140, 8);
    memory.PutPointer(0x6100, 0x7100, 8);
    memory.Put(0x7100, "\x06" "EAbort");
    // A class pointer below 8 slots would wrap to the top of the address
    // space, where a plausible name waits.
    memory.PutPointer(0x5200, 0x10, 4);
    memory.PutPointer(0xFFFFFFFFFFFFFFF0, 0x7000, 8);
    // Failures at each later step.
    memory.PutPointer(0x5300, 0x8020, 4);  // no name pointer
    memory.PutPointer(0x5400, 0x6420, 4);
    memory.PutPointer(0x6400, 0x9000, 4);  // no length byte
    memory.PutPointer(0x5500, 0x6520, 4);
    memory.PutPointer(0x6500, 0x7500, 4);
    memory.Put(0x7500, "\x09" "Short");  // fewer characters than claimed
    memory.PutPointer(0x5600, 0x6620, 4);
    memory.PutPointer(0x6600, 0x7600, 4);
    memory.Put(0x7600, std::string("\0", 1));

    const struct {
        uint64_t object;
        int pointerSize;
        std::string name;
    } cases[] = {
        {0x5000, 4, "EMyError"}, {0x5100, 8, "EAbort"}, {0x5000, 8, ""}, {0x5200, 4, ""}, {0x9000, 4, ""},
        {0x5300, 4, ""},         {0x5400, 4, ""},       {0x5500, 4, ""}, {0x5600, 4, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadDelphiClassName(memory, c.object, c.pointerSize), c.name)
            << std::hex << c.object << " size " << c.pointerSize;
    }
}

TEST(DebuggeeMemoryTest, EachEventReadsItsOwnText) {
    FakeMemory memory;
    memory.PutPointer(0x1000, 0x2000, 8);
    memory.Put(0x2000, std::string("C:\\a.dll\0", 9));
    memory.Put(0x3000, std::string("out\0", 4));
    memory.PutPointer(0x1100, 0x2100, 8);
    memory.PutUtf16(0x2100, std::u16string_view(u"\u00e4\0\u00f6\0", 4));  // a name, then a debug string
    memory.PutPointer(0x5000, 0x6040, 8);
    memory.PutPointer(0x6000, 0x7000, 8);
    memory.Put(0x7000, "\x01" "E");

    auto event = [](uint32_t code, uint32_t exceptionCode = 0, uint32_t parameters = 0, uint32_t unicode = 0) {
        DebugEventRecord e;
        e.code = code;
        e.exceptionCode = exceptionCode;
        e.numberParameters = parameters;
        e.exceptionInformation[1] = 0x5000;
        e.imageName = unicode ? 0x1100 : 0x1000;
        e.unicode = unicode;
        e.debugStringData = unicode ? 0x2104 : 0x3000;
        e.debugStringLength = 4;
        return e;
    };
    const struct {
        DebugEventRecord event;
        DebuggeeTexts texts;
    } cases[] = {
        {event(kCreateProcessEvent), {"C:\\a.dll", "", ""}},
        {event(kLoadDllEvent), {"C:\\a.dll", "", ""}},
        {event(kLoadDllEvent, 0, 0, 1), {.wideImageName = L"\u00e4"}},
        {event(kOutputDebugStringEvent), {"", "out", ""}},
        {event(kOutputDebugStringEvent, 0, 0, 1), {.wideDebugString = L"\u00f6"}},
        {event(kExceptionEvent, kDelphiExceptionCode, 2), {"", "", "E"}},
        {event(kExceptionEvent, kDelphiExceptionCode, 1), {"", "", ""}},
        {event(kExceptionEvent, 0xC0000005, 2), {"", "", ""}},
        {event(kCreateThreadEvent), {"", "", ""}},
        {event(kUnloadDllEvent), {"", "", ""}},
    };
    for (const auto& c : cases) {
        const DebuggeeTexts texts = ReadDebuggeeTexts(memory, c.event, 8);
        EXPECT_EQ(texts.imageName, c.texts.imageName) << c.event.code;
        EXPECT_EQ(texts.debugString, c.texts.debugString) << c.event.code;
        EXPECT_EQ(texts.delphiClassName, c.texts.delphiClassName) << c.event.code;
        EXPECT_EQ(texts.wideImageName, c.texts.wideImageName) << c.event.code;
        EXPECT_EQ(texts.wideDebugString, c.texts.wideDebugString) << c.event.code;
    }
}

TEST(DebuggeeProcessesTest, EachEventIsReadFromItsOwnProcessAndOnlyTheFirstsExitEndsTheRun) {
    auto first = std::make_unique<FakeMemory>(), child = std::make_unique<FakeMemory>();
    first->Put(0x1000, "first");
    child->Put(0x1000, "child");
    TDebuggeeProcesses processes(1, {std::move(first), 8});
    const auto read = [&](uint32_t code) {
        DebugEventCopy copy{.event = {.code = code, .debugStringData = 0x1000, .debugStringLength = 5}, .texts = {}};
        processes.Read(2, copy);
        return copy.texts.debugString + std::to_string(copy.pointerSize);
    };
    EXPECT_EQ(read(kOutputDebugStringEvent), "first8");  // its creation not seen
    processes.Created(2, {std::move(child), 4});
    EXPECT_EQ(read(kOutputDebugStringEvent), "child4");
    EXPECT_EQ(read(kExitProcessEvent), "4");
    EXPECT_EQ(read(kOutputDebugStringEvent), "first8");
    EXPECT_TRUE(processes.EndsRun(1, {.code = kExitProcessEvent}) && !processes.EndsRun(2, {.code = kExitProcessEvent}));
}

}  // namespace
}  // namespace norvale
