#include "output/vichw32.h"

#include <algorithm>
#include <utility>

namespace norvale {

namespace {

constexpr uint32_t kParallelPortTable = 0x408;
constexpr uint32_t kParallelPortTableLength = 6;

template <typename Value>
void Store(std::span<uint8_t> record, size_t offset, Value value) {
    for (size_t i = 0; i < sizeof(Value); ++i) {
        record[offset + i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
    }
}

}  // namespace

uint32_t VicHwControlCode(VicHwFunction function, bool ntFamily) {
    const auto number = static_cast<uint32_t>(function);
    // Device type 0x8000, buffered transfer, any access.
    return ntFamily ? 0x80000000u + (number + 0x800u) * 4u : number;
}

std::array<uint8_t, 24> VicHwMapRequest(uint32_t physicalAddress, uint32_t length) {
    std::array<uint8_t, 24> record{};
    Store(record, 8, physicalAddress);
    Store(record, 20, length);
    return record;
}

std::array<uint8_t, sizeof(uintptr_t)> VicHwAddressRequest(uintptr_t processAddress) {
    std::array<uint8_t, sizeof(uintptr_t)> record{};
    Store(record, 0, processAddress);
    return record;
}

std::array<uint8_t, 8> VicHwPortRequest(uint16_t port, uint8_t value) {
    std::array<uint8_t, 8> record{};
    Store(record, 0, uint32_t{port});
    Store(record, 4, uint32_t{value});
    return record;
}

std::array<uint8_t, sizeof(uintptr_t) + 4> VicHwPageRequest(uintptr_t pageAddress) {
    std::array<uint8_t, sizeof(uintptr_t) + 4> record{};
    Store(record, 0, pageAddress);
    Store(record, sizeof(uintptr_t), static_cast<uint32_t>(kVicHwPageSize));
    return record;
}

bool TVicHw32::Control(VicHwFunction function, std::span<const uint8_t> input, std::span<uint8_t> output) {
    return system_.DeviceControl(device_, VicHwControlCode(function, ntFamily_), input, output);
}

IVicHwSystem::Device TVicHw32::OpenDevice() {
    const std::string name = kVicHwDriverName;
    if (!ntFamily_) return system_.OpenDevice("\\\\.\\" + name + ".VXD", true);
    return system_.OpenDevice("\\\\.\\" + name, false);
}

void TVicHw32::InstallService() {
    IVicHwSystem::ServiceStart start = system_.StartDriverService(kVicHwDriverName);
    if (start == IVicHwSystem::ServiceStart::Missing) {
        serviceCreated_ = system_.CreateDriverService(
            kVicHwDriverName,
            system_.WindowsDirectory() + "\\SYSTEM32\\DRIVERS\\" + std::string(kVicHwDriverName) + ".SYS");
        if (serviceCreated_) start = system_.StartDriverService(kVicHwDriverName);
    }
    serviceStarted_ = start == IVicHwSystem::ServiceStart::Started;
}

// Only what this component did is undone: a service that was running or
// installed before stays as it was.
void TVicHw32::RemoveService() {
    if (serviceStarted_) system_.StopDriverService(kVicHwDriverName);
    if (serviceCreated_) system_.DeleteDriverService(kVicHwDriverName);
    serviceStarted_ = false;
    serviceCreated_ = false;
}

void TVicHw32::OpenDriver() {
    if (ActiveHW()) return;
    areas_.clear();
    for (int attempt = 0; attempt < 2 && device_ == 0; ++attempt) {
        device_ = OpenDevice();
        if (device_ != 0 || !ntFamily_) continue;
        InstallService();
        device_ = OpenDevice();
        if (device_ == 0) RemoveService();
    }
    if (device_ == 0) return;
    MapPhysicalMemory(kParallelPortTable, kParallelPortTableLength);
    page_ = std::make_unique<SharedPage>();
    std::array<uint8_t, 4> answer{};
    Control(VicHwFunction::RegisterPage, VicHwPageRequest(reinterpret_cast<uintptr_t>(page_->bytes.data())), answer);
}

void TVicHw32::CloseDriver() {
    if (!ActiveHW()) return;
    const std::array<uint8_t, 4> request{};
    std::array<uint8_t, 4> answer{};
    Control(VicHwFunction::ReleaseSecond, request, answer);
    Control(VicHwFunction::ReleaseFirst, request, answer);
    for (const MappedArea& area : areas_) Control(VicHwFunction::UnmapMemory, VicHwAddressRequest(area.processAddress));
    areas_.clear();
    system_.CloseDevice(std::exchange(device_, 0));
    // The driver no longer holds the page once it is closed.
    page_.reset();
    RemoveService();
}

uint8_t* TVicHw32::MapPhysicalMemory(uint32_t physicalAddress, uint32_t length) {
    if (!ActiveHW()) return nullptr;
    const auto earlier = std::find_if(areas_.begin(), areas_.end(), [physicalAddress](const MappedArea& area) {
        return area.physicalAddress == physicalAddress;
    });
    if (earlier != areas_.end()) return reinterpret_cast<uint8_t*>(earlier->processAddress);
    if (areas_.size() == kMaxMappedAreas) return nullptr;
    std::array<uint8_t, sizeof(uintptr_t)> answer{};
    if (!Control(VicHwFunction::MapMemory, VicHwMapRequest(physicalAddress, length), answer)) return nullptr;
    uintptr_t processAddress = 0;
    for (size_t i = 0; i < answer.size(); ++i) processAddress |= uintptr_t{answer[i]} << (8 * i);
    if (processAddress == 0) return nullptr;
    areas_.push_back({physicalAddress, processAddress});
    return reinterpret_cast<uint8_t*>(processAddress);
}

void TVicHw32::WritePortByte(uint16_t port, uint8_t value) {
    if (ActiveHW()) Control(VicHwFunction::WritePort, VicHwPortRequest(port, value));
}

}  // namespace norvale
