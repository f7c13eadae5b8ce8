#pragma once

// TVicHw32: the hardware-access component that reaches physical memory and
// I/O ports through the "VICHW11" kernel driver. The component is plain code;
// everything it asks of the system goes through IVicHwSystem, so a fake
// device can answer it in tests.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace norvale {

inline constexpr char kVicHwDriverName[] = "VICHW11";

// The driver's function numbers.
enum class VicHwFunction : uint32_t {
    MapMemory = 2,
    UnmapMemory = 3,
    WritePort = 12,
    RegisterPage = 24,
    ReleaseFirst = 25,
    ReleaseSecond = 27,
};

uint32_t VicHwControlCode(VicHwFunction function, bool ntFamily);

// The request records, byte for byte as the driver takes them. Process
// addresses are pointer-sized, so that a 64-bit process's addresses are never
// cut; the other numbers are 32-bit.
inline constexpr size_t kVicHwPageSize = 4096;
std::array<uint8_t, 24> VicHwMapRequest(uint32_t physicalAddress, uint32_t length);
std::array<uint8_t, sizeof(uintptr_t)> VicHwAddressRequest(uintptr_t processAddress);
std::array<uint8_t, 8> VicHwPortRequest(uint16_t port, uint8_t value);
std::array<uint8_t, sizeof(uintptr_t) + 4> VicHwPageRequest(uintptr_t pageAddress);

// What the component needs of the system: the device and the service manager.
class IVicHwSystem {
public:
    using Device = uintptr_t;  // 0 is none
    enum class ServiceStart { Started, AlreadyRunning, Missing, Failed };

    virtual ~IVicHwSystem() = default;

    virtual Device OpenDevice(const std::string& path, bool deleteOnClose) = 0;
    // False when the call fails; `output` is then left as it was.
    virtual bool DeviceControl(Device device, uint32_t code, std::span<const uint8_t> input,
                               std::span<uint8_t> output) = 0;
    virtual void CloseDevice(Device device) = 0;

    virtual ServiceStart StartDriverService(const std::string& name) = 0;
    // A kernel driver started on demand, with normal error control; false
    // when it could not be created.
    virtual bool CreateDriverService(const std::string& name, const std::string& binaryPath) = 0;
    virtual void StopDriverService(const std::string& name) = 0;
    virtual void DeleteDriverService(const std::string& name) = 0;
    virtual std::string WindowsDirectory() = 0;
};

class TVicHw32 {
public:
    static constexpr size_t kMaxMappedAreas = 16;

    TVicHw32(IVicHwSystem& system, bool ntFamily) : system_(system), ntFamily_(ntFamily) {}
    ~TVicHw32() { CloseDriver(); }
    TVicHw32(const TVicHw32&) = delete;
    TVicHw32& operator=(const TVicHw32&) = delete;

    // On the NT family installs and starts the driver's service when the
    // device is missing; afterwards `ActiveHW` tells whether it worked.
    void OpenDriver();
    // Releases everything the driver and the service manager were given.
    void CloseDriver();
    bool ActiveHW() const { return device_ != 0; }

    // The process address of the area; the same address again gives the
    // earlier result. Null when inactive, refused or 16 areas are mapped.
    uint8_t* MapPhysicalMemory(uint32_t physicalAddress, uint32_t length);
    // Does nothing when inactive.
    void WritePortByte(uint16_t port, uint8_t value);

private:
    struct MappedArea {
        uint32_t physicalAddress;
        uintptr_t processAddress;
    };
    struct alignas(kVicHwPageSize) SharedPage {
        std::array<uint8_t, kVicHwPageSize> bytes{};
    };

    IVicHwSystem::Device OpenDevice();
    void InstallService();
    void RemoveService();
    bool Control(VicHwFunction function, std::span<const uint8_t> input, std::span<uint8_t> output = {});

    IVicHwSystem& system_;
    const bool ntFamily_;
    IVicHwSystem::Device device_ = 0;
    bool serviceStarted_ = false;
    bool serviceCreated_ = false;
    std::vector<MappedArea> areas_;
    std::unique_ptr<SharedPage> page_;
};

#ifdef _WIN32
std::unique_ptr<IVicHwSystem> MakeSystemVicHw();
#endif

}  // namespace norvale
