#include "debugger/exception_stack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norvale {
namespace {

TEST(ExceptionStackTest, EverySecondChanceAndFirstChancesOnlyWithTheOption) {
    const DebugEventRecord first{.code = kExceptionEvent, .firstChance = 1};
    const DebugEventRecord second{.code = kExceptionEvent, .firstChance = 0};
    const DebugEventRecord exit{.code = kExitProcessEvent};
    EXPECT_FALSE(WantsStack(first, false));
    EXPECT_TRUE(WantsStack(first, true));
    EXPECT_TRUE(WantsStack(second, false));
    EXPECT_FALSE(WantsStack(exit, true));
}

TEST(ExceptionStackTest, FrameTexts) {
    const struct {
        StackFrame frame;
        int pointerSize;
        std::string text;
    } rows[] = {
        {{.address = 0x140001010, .module = "crash", .moduleBase = 0x140000000, .function = "post_invoice",
          .displacement = 0xc, .file = "/work/tests/crash.c", .line = 3},
         8, "crash!post_invoice+0xc crash.c:3"},
        {{.address = 1, .module = "app", .function = "main", .displacement = 0x1a2b, .file = "C:\\src\\main.cpp",
          .line = 120},
         8, "app!main+0x1a2b main.cpp:120"},
        {{.address = 1, .module = "kernel32", .function = "RaiseException", .displacement = 0}, 8,
         "kernel32!RaiseException+0x0"},
        {{.address = 1, .function = "loose"}, 8, "loose+0x0"},
        {{.address = 0x7ffa00012345, .module = "ntdll", .moduleBase = 0x7ffa00000000}, 8, "ntdll+0x12345"},
        {{.address = 0x12345678}, 8, "0000000012345678"},
        {{.address = 0x12345678}, 4, "12345678"},
        {{.address = 1, .module = "m\x01", .function = "f\n", .file = "a\tb.c", .line = 1}, 8, "m?!f?+0x0 a?b.c:1"},
    };
    for (const auto& row : rows) EXPECT_EQ(StackFrameText(row.frame, row.pointerSize), row.text) << row.text;
}

TEST(ExceptionStackTest, SearchPathIsTheDebuggeesFoldersAndTheUsersPathWithoutSymbolServers) {
    const struct {
        std::vector<std::string> folders;
        const char* ntSymbolPath;
        const char* path;
    } rows[] = {
        {{"C:\\app\\"}, "", "C:\\app\\"},
        {{}, "C:\\sym;D:\\more", "C:\\sym;D:\\more"},
        {{"C:\\app\\"}, "srv*C:\\cache*https://msdl.microsoft.com/download/symbols;C:\\sym", "C:\\app\\;C:\\sym"},
        {{}, "SRV*https://x;SymSrv*symsrv.dll*https://y; C:\\sym ;;", "C:\\sym"},
        {{"C:\\app\\", "c:\\APP\\"}, "C:\\app\\", "C:\\app\\"},
        {{}, "C:\\srv*;symsrv", "C:\\srv*;symsrv"},
        {{}, "", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(SymbolSearchPath(row.folders, row.ntSymbolPath), row.path) << row.path;
}

// A walker over a made-up stack: the frames it gives after the one it was set
// on, a clock that moves by `stepMicroseconds` at each look.
class FakeStack final : public IStackSource {
public:
    std::vector<uint64_t> modules;  // the start addresses; each 0x1000 long
    std::vector<uint64_t> walkerFrames;
    bool readable = true;
    uint64_t atStackPointer = 0;
    int64_t stepMicroseconds = 0;
    uint64_t startedPc = 0, startedSp = 0;
    uint64_t readAt = 0;

    bool InModule(uint64_t address) override {
        for (uint64_t base : modules)
            if (address >= base && address < base + 0x1000) return true;
        return false;
    }
    bool ReadPointer(uint64_t address, uint64_t& value) override {
        readAt = address;
        value = atStackPointer;
        return readable;
    }
    void StartAt(uint64_t pc, uint64_t sp) override {
        startedPc = pc;
        startedSp = sp;
        next_ = 0;
    }
    bool NextFrame(uint64_t& pc) override {
        if (lost) return false;
        if (next_ == 0) {
            ++next_;
            pc = startedPc;
            return true;
        }
        if (next_ > walkerFrames.size()) return false;
        pc = walkerFrames[next_++ - 1];
        return true;
    }
    int64_t WalkClock() override { return clock_ += stepMicroseconds; }
    bool lost = false;  // from the first step

private:
    size_t next_ = 0;
    int64_t clock_ = 0;
};

std::vector<uint64_t> Frames(uint64_t first, size_t count) {
    std::vector<uint64_t> frames;
    for (size_t i = 0; i < count; ++i) frames.push_back(first + i);
    return frames;
}

TEST(ExceptionStackTest, WalksFromTheInstructionPointerWithinItsBounds) {
    const uint64_t kInside = 0x140001010;
    const struct {
        const char* what;
        uint64_t pc;
        std::vector<uint64_t> walker;
        bool readable;
        uint64_t atSp;
        int64_t step;
        bool lost;
        std::vector<uint64_t> addresses;
        bool cutShort;
    } rows[] = {
        {"three frames", kInside, {kInside + 1, kInside + 2}, true, 0, 0, false, {kInside, kInside + 1, kInside + 2},
         false},
        {"the walker gives nothing", kInside, {}, true, 0, 0, true, {kInside}, false},
        {"a bad pointer, its caller from the stack", 0xbad, {kInside + 5}, true, kInside, 0, false,
         {0xbad, kInside, kInside + 5}, false},
        {"a bad pointer over an unreadable stack", 0xbad, {kInside}, false, kInside, 0, false, {0xbad}, false},
        {"a bad pointer over a zero", 0xbad, {kInside}, true, 0, 0, false, {0xbad}, false},
        {"the walker's zero ends it", kInside, {kInside + 1, 0, kInside + 3}, true, 0, 0, false,
         {kInside, kInside + 1}, false},
        {"32 frames", kInside, Frames(kInside + 1, 31), true, 0, 0, false, Frames(kInside, 32), false},
        {"33 frames", kInside, Frames(kInside + 1, 32), true, 0, 0, false, Frames(kInside, 32), true},
        {"a bad pointer's 33", 0xbad, Frames(kInside + 1, 31), true, kInside, 0, false,
         [&] {
             std::vector<uint64_t> f{0xbad};
             for (uint64_t a : Frames(kInside, 31)) f.push_back(a);
             return f;
         }(),
         true},
        // The clock moves at each look: the budget is spent at the fifth.
        {"out of time", kInside, Frames(kInside + 1, 31), true, 0, kStackWalkBudgetMicroseconds / 4, false,
         Frames(kInside, 4), true},
        {"the whole budget", kInside, {kInside + 1}, true, 0, kStackWalkBudgetMicroseconds / 3, false,
         {kInside, kInside + 1}, false},
    };
    for (const auto& row : rows) {
        FakeStack stack;
        stack.modules = {0x140001000};
        stack.walkerFrames = row.walker;
        stack.readable = row.readable;
        stack.atStackPointer = row.atSp;
        stack.stepMicroseconds = row.step;
        stack.lost = row.lost;
        const WalkedStack walked = WalkStack(stack, row.pc, 0x5000, 8);
        EXPECT_EQ(walked.addresses, row.addresses) << row.what;
        EXPECT_EQ(walked.cutShort, row.cutShort) << row.what;
    }
}

TEST(ExceptionStackTest, ABadPointersCallerIsWalkedFromTheStackAboveItsReturnAddress) {
    for (const int pointerSize : {8, 4}) {
        FakeStack stack;
        stack.modules = {0x401000};
        stack.atStackPointer = 0x401010;
        WalkStack(stack, 0xbad, 0x5000, pointerSize);
        EXPECT_EQ(stack.readAt, 0x5000u);
        EXPECT_EQ(stack.startedPc, 0x401010u);
        EXPECT_EQ(stack.startedSp, 0x5000u + pointerSize);
    }
}

}  // namespace
}  // namespace norvale
