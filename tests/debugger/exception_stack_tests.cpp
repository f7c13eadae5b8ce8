#include "debugger/exception_stack.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace norvale {
namespace {

TEST(ExceptionStackTest, EverySecondChanceAndFirstChancesOnlyWithTheOption) {
    const DebugEventRecord first{.code = kExceptionEvent, .firstChance = 1}, second{.code = kExceptionEvent};
    EXPECT_TRUE(!WantsStack(first, false) && WantsStack(first, true) && WantsStack(second, false));
    EXPECT_FALSE(WantsStack({.code = kExitProcessEvent}, true));
}

TEST(ExceptionStackTest, FrameTexts) {
    const struct {
        StackFrame frame;
        int pointerSize;
        std::string text;
    } rows[] = {
        {{1, "crash", 0, "post_invoice", 0xc, "/work/tests/crash.c", 3}, 8, "crash!post_invoice+0xc crash.c:3"},
        {{1, "app", 0, "main", 0x1a2b, "C:\\src\\main.cpp", 120}, 8, "app!main+0x1a2b main.cpp:120"},
        {{1, "kernel32", 0, "RaiseException"}, 8, "kernel32!RaiseException+0x0"},
        {{.address = 1, .function = "loose"}, 8, "loose+0x0"},
        {{0x7ffa00012345, "ntdll", 0x7ffa00000000}, 8, "ntdll+0x12345"},
        {{0x12345678}, 8, "0000000012345678"},
        {{0x12345678}, 4, "12345678"},
        {{1, "m\x01", 0, "f\n", 0, "a\tb.c", 1}, 8, "m?!f?+0x0 a?b.c:1"},
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

// A made-up stack: one module at 0x1000 to 0x2000; the walker gives the frame
// it was set on, then `frames`; the clock moves by `step` at each look.
struct Shape {
    std::vector<uint64_t> frames;
    bool readable = true, lost = false;
    uint64_t atSp = 0;
    int64_t step = 0;
};

struct FakeStack final : IStackSource, Shape {
    explicit FakeStack(Shape shape) : Shape(std::move(shape)) {}
    uint64_t startedSp = 0;
    int64_t clock = 0;
    size_t next = 0;
    std::vector<uint64_t> given;

    bool InModule(uint64_t address) override { return address >= 0x1000 && address < 0x2000; }
    bool ReadPointer(uint64_t address, uint64_t& value) override { return value = atSp, address == 0x5000 && readable; }
    void StartAt(uint64_t pc, uint64_t sp) override { given = {pc}, startedSp = sp; }
    bool NextFrame(uint64_t& pc) override {
        if (lost || next > frames.size()) return false;
        pc = next == 0 ? given[0] : frames[next - 1];
        return ++next, true;
    }
    int64_t WalkClock() override { return clock += step; }
};

std::vector<uint64_t> Frames(uint64_t first, size_t count, std::vector<uint64_t> before = {}) {
    for (size_t i = 0; i < count; ++i) before.push_back(first + i);
    return before;
}

TEST(ExceptionStackTest, WalksFromTheInstructionPointerWithinItsBounds) {
    constexpr int64_t kQuarter = kStackWalkBudgetMicroseconds / 4, kThird = kStackWalkBudgetMicroseconds / 3;
    const struct {
        const char* what;
        uint64_t pc;
        Shape stack;
        std::vector<uint64_t> addresses;
        bool cutShort;
    } rows[] = {
        {"three frames", 0x1010, {.frames = {0x1011, 0x1012}}, {0x1010, 0x1011, 0x1012}, false},
        {"the walker gives nothing", 0x1010, {.frames = {0x1011}, .lost = true}, {0x1010}, false},
        {"a bad pointer, its caller from the stack", 0xbad, {.frames = {0x1015}, .atSp = 0x1010},
         {0xbad, 0x1010, 0x1015}, false},
        {"a bad pointer over an unreadable stack", 0xbad, {.frames = {0x1011}, .readable = false, .atSp = 0x1010},
         {0xbad}, false},
        {"a bad pointer over a zero", 0xbad, {.frames = {0x1011}}, {0xbad}, false},
        {"the walker's zero ends it", 0x1010, {.frames = {0x1011, 0, 0x1013}}, {0x1010, 0x1011}, false},
        {"32 frames", 0x1010, {.frames = Frames(0x1011, 31)}, Frames(0x1010, 32), false},
        {"33 frames", 0x1010, {.frames = Frames(0x1011, 32)}, Frames(0x1010, 32), true},
        {"a bad pointer's 33", 0xbad, {.frames = Frames(0x1011, 31), .atSp = 0x1010}, Frames(0x1010, 31, {0xbad}),
         true},
        // The budget is spent at the fifth look.
        {"out of time", 0x1010, {.frames = Frames(0x1011, 31), .step = kQuarter}, Frames(0x1010, 4), true},
        {"the whole budget", 0x1010, {.frames = {0x1011}, .step = kThird}, {0x1010, 0x1011}, false},
    };
    for (const auto& row : rows) {
        FakeStack stack(row.stack);
        const WalkedStack walked = WalkStack(stack, row.pc, 0x5000, 4);
        EXPECT_EQ(walked.addresses, row.addresses) << row.what;
        EXPECT_EQ(walked.cutShort, row.cutShort) << row.what;
        // A caller taken from the stack is walked on from above its return address.
        if (row.pc == 0xbad && stack.next > 0) {
            EXPECT_EQ(stack.startedSp, 0x5004u) << row.what;
        }
    }
}

}  // namespace
}  // namespace norvale
