// TVicHw32 against a fake device and service manager: every request it makes,
// in order, byte for byte.

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "common/text.h"
#include "output/vichw32.h"

namespace norvale {
namespace {

static_assert(sizeof(uintptr_t) == 8, "the expected records are those of a 64-bit process");

std::string Hex(std::span<const uint8_t> bytes) {
    std::string text;
    for (const uint8_t b : bytes) text += HexText(b).substr(6);
    return text;
}

using Log = std::vector<std::string>;
using Start = IVicHwSystem::ServiceStart;

// Answers from queues (then "no device", "failed"); maps areas at 0x100000,
// 0x200000, ...; logs every call.
class FakeVicHw final : public IVicHwSystem {
public:
    Device OpenDevice(const std::string& path, bool deleteOnClose) override {
        log.push_back("open " + path + (deleteOnClose ? " delete-on-close" : ""));
        return Next(devices, Device{0});
    }
    bool DeviceControl(Device device, uint32_t code, std::span<const uint8_t> input,
                       std::span<uint8_t> output) override {
        const bool registersPage = Is(code, VicHwFunction::RegisterPage);
        if (registersPage) page.assign(input.begin(), input.end());
        log.push_back("control " + std::to_string(device) + " " + HexText(code) + " " +
                      (registersPage ? "page" : Hex(input)) + " " + std::to_string(output.size()));
        if (refuse) return false;
        if (Is(code, VicHwFunction::MapMemory)) {
            const auto address = VicHwAddressRequest(++mapped * 0x100000);
            std::copy(address.begin(), address.end(), output.begin());
        }
        return true;
    }
    void CloseDevice(Device device) override { log.push_back("close " + std::to_string(device)); }
    Start StartDriverService(const std::string& name) override {
        log.push_back("start " + name);
        return Next(starts, Start::Failed);
    }
    bool CreateDriverService(const std::string& name, const std::string& binaryPath) override {
        log.push_back("create " + name + " " + binaryPath);
        return creates;
    }
    void StopDriverService(const std::string& name) override { log.push_back("stop " + name); }
    void DeleteDriverService(const std::string& name) override { log.push_back("delete " + name); }
    std::string WindowsDirectory() override { return "C:\\windows"; }

    static bool Is(uint32_t code, VicHwFunction function) {
        return code == VicHwControlCode(function, true) || code == VicHwControlCode(function, false);
    }
    template <typename T>
    static T Next(std::deque<T>& queue, T otherwise) {
        if (queue.empty()) return otherwise;
        const T value = queue.front();
        queue.pop_front();
        return value;
    }

    Log log;
    std::deque<Device> devices;
    std::deque<Start> starts;
    bool creates = true;
    bool refuse = false;
    uintptr_t mapped = 0;
    std::vector<uint8_t> page;
};

// The open that finds the device: the firmware's parallel-port table is
// mapped and the shared page registered.
const Log kOpenedNt = {
    "open \\\\.\\VICHW11",
    "control 7 80002008 000000000000000008040000000000000000000006000000 8",
    "control 7 80002060 page 4",
};

Log Joined(Log first, const Log& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(VicHw32Test, ControlCodes) {
    const std::pair<VicHwFunction, uint32_t> rows[] = {
        {VicHwFunction::MapMemory, 0x80002008},    {VicHwFunction::UnmapMemory, 0x8000200C},
        {VicHwFunction::WritePort, 0x80002030},    {VicHwFunction::RegisterPage, 0x80002060},
        {VicHwFunction::ReleaseFirst, 0x80002064}, {VicHwFunction::ReleaseSecond, 0x8000206C},
    };
    for (const auto& [function, ntCode] : rows) {
        EXPECT_EQ(VicHwControlCode(function, true), ntCode);
        EXPECT_EQ(VicHwControlCode(function, false), static_cast<uint32_t>(function));
    }
}

TEST(VicHw32Test, RequestRecords) {
    EXPECT_EQ(Hex(VicHwMapRequest(0xB0000, 4000)), "0000000000000000" "00000b00" "0000000000000000" "a00f0000");
    EXPECT_EQ(Hex(VicHwPortRequest(0x3B5, 0x10)), "b5030000" "10000000");
    EXPECT_EQ(Hex(VicHwAddressRequest(0x123456789A)), "9a78563412000000");
    EXPECT_EQ(Hex(VicHwPageRequest(0x7F0000001000)), "00100000007f0000" "00100000");
}

TEST(VicHw32Test, DeviceThereMapsWritesPortsAndReleasesEverythingAtClose) {
    FakeVicHw system;
    system.devices = {7};
    {
        TVicHw32 hardware(system, true);
        hardware.OpenDriver();
        ASSERT_TRUE(hardware.ActiveHW());
        EXPECT_EQ(system.log, kOpenedNt);
        ASSERT_EQ(system.page.size(), 12u);
        uintptr_t page = 0;
        for (size_t i = 0; i < 8; ++i) page |= uintptr_t{system.page[i]} << (8 * i);
        EXPECT_EQ(page % kVicHwPageSize, 0u);
        EXPECT_NE(page, 0u);
        EXPECT_EQ(Hex(std::span(system.page).subspan(8)), "00100000");

        system.log.clear();
        EXPECT_EQ(hardware.MapPhysicalMemory(0xB0000, 4000), reinterpret_cast<uint8_t*>(0x200000));
        // The same address again: the earlier result, without a request.
        EXPECT_EQ(hardware.MapPhysicalMemory(0xB0000, 100), reinterpret_cast<uint8_t*>(0x200000));
        hardware.WritePortByte(0x3B4, 0x0A);
        hardware.OpenDriver();  // already open: nothing
        EXPECT_EQ(system.log, (Log{
                                  "control 7 80002008 000000000000000000000b000000000000000000a00f0000 8",
                                  "control 7 80002030 b40300000a000000 0",
                              }));
        system.log.clear();
    }
    EXPECT_EQ(system.log, (Log{
                              "control 7 8000206c 00000000 4",
                              "control 7 80002064 00000000 4",
                              "control 7 8000200c 0000100000000000 0",
                              "control 7 8000200c 0000200000000000 0",
                              "close 7",
                          }));
}

TEST(VicHw32Test, MissingServiceIsCreatedStartedAndRemovedAgainAtClose) {
    FakeVicHw system;
    system.devices = {0, 7};
    system.starts = {Start::Missing, Start::Started};
    TVicHw32 hardware(system, true);
    hardware.OpenDriver();
    ASSERT_TRUE(hardware.ActiveHW());
    Log expected = {
        "open \\\\.\\VICHW11",
        "start VICHW11",
        "create VICHW11 C:\\windows\\SYSTEM32\\DRIVERS\\VICHW11.SYS",
        "start VICHW11",
    };
    expected = Joined(expected, kOpenedNt);
    EXPECT_EQ(system.log, expected);
    system.log.clear();
    hardware.CloseDriver();
    EXPECT_EQ(system.log, (Log{
                              "control 7 8000206c 00000000 4",
                              "control 7 80002064 00000000 4",
                              "control 7 8000200c 0000100000000000 0",
                              "close 7",
                              "stop VICHW11",
                              "delete VICHW11",
                          }));
    EXPECT_FALSE(hardware.ActiveHW());
}

TEST(VicHw32Test, OnlyWhatTheComponentDidIsUndone) {
    struct Row {
        std::deque<Start> starts;
        Log afterClose;
    };
    const Row rows[] = {
        {{Start::Started}, {"close 7", "stop VICHW11"}},
        {{Start::AlreadyRunning}, {"close 7"}},
        {{Start::Failed}, {"close 7"}},
    };
    for (const Row& row : rows) {
        FakeVicHw system;
        system.devices = {0, 7};
        system.starts = row.starts;
        {
            TVicHw32 hardware(system, true);
            hardware.OpenDriver();
            ASSERT_TRUE(hardware.ActiveHW());
            system.log.clear();
        }
        const Log tail(system.log.end() - static_cast<ptrdiff_t>(row.afterClose.size()), system.log.end());
        EXPECT_EQ(tail, row.afterClose);
    }
}

TEST(VicHw32Test, NoDeviceAfterTwoAttemptsLeavesNothingBehind) {
    FakeVicHw system;
    system.starts = {Start::Missing, Start::Started, Start::Missing, Start::Failed};
    TVicHw32 hardware(system, true);
    hardware.OpenDriver();
    EXPECT_FALSE(hardware.ActiveHW());
    const Log attempt = {
        "open \\\\.\\VICHW11",
        "start VICHW11",
        "create VICHW11 C:\\windows\\SYSTEM32\\DRIVERS\\VICHW11.SYS",
        "start VICHW11",
        "open \\\\.\\VICHW11",
    };
    Log expected = Joined(Joined(attempt, {"stop VICHW11", "delete VICHW11"}), attempt);
    expected = Joined(expected, {"delete VICHW11"});
    EXPECT_EQ(system.log, expected);

    system.log.clear();
    EXPECT_EQ(hardware.MapPhysicalMemory(0xB0000, 4000), nullptr);
    hardware.WritePortByte(0x3B4, 0x0A);
    hardware.CloseDriver();
    EXPECT_EQ(system.log, Log{});
}

TEST(VicHw32Test, NinexFamilyOpensTheVxdAndNeverTheServiceManager) {
    FakeVicHw system;
    system.devices = {0, 9};
    TVicHw32 hardware(system, false);
    hardware.OpenDriver();
    ASSERT_TRUE(hardware.ActiveHW());
    hardware.WritePortByte(0x3B5, 0x10);
    EXPECT_EQ(system.log, (Log{
                              "open \\\\.\\VICHW11.VXD delete-on-close",
                              "open \\\\.\\VICHW11.VXD delete-on-close",
                              "control 9 00000002 000000000000000008040000000000000000000006000000 8",
                              "control 9 00000018 page 4",
                              "control 9 0000000c b503000010000000 0",
                          }));
}

TEST(VicHw32Test, SixteenAreasAtMost) {
    FakeVicHw system;
    system.devices = {7};
    TVicHw32 hardware(system, true);
    hardware.OpenDriver();
    // The parallel-port table holds the first of the sixteen.
    for (uint32_t i = 1; i < TVicHw32::kMaxMappedAreas; ++i) {
        EXPECT_NE(hardware.MapPhysicalMemory(0x100000 * i, 16), nullptr) << i;
    }
    system.log.clear();
    EXPECT_EQ(hardware.MapPhysicalMemory(0xB0000, 4000), nullptr);
    EXPECT_EQ(hardware.MapPhysicalMemory(0x100000, 16), reinterpret_cast<uint8_t*>(0x200000));
    EXPECT_EQ(system.log, Log{});
}

TEST(VicHw32Test, RefusedMappingIsNotRemembered) {
    FakeVicHw system;
    system.devices = {7};
    TVicHw32 hardware(system, true);
    hardware.OpenDriver();
    system.refuse = true;
    EXPECT_EQ(hardware.MapPhysicalMemory(0xB0000, 4000), nullptr);
    system.refuse = false;
    EXPECT_EQ(hardware.MapPhysicalMemory(0xB0000, 4000), reinterpret_cast<uint8_t*>(0x200000));
    system.log.clear();
    hardware.CloseDriver();
    EXPECT_EQ(system.log.size(), 5u);  // two releases, two unmaps, the close
}

}  // namespace
}  // namespace norvale
