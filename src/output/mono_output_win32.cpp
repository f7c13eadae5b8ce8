#include <windows.h>

#include <cstring>

#include "common/version.h"
#include "common/win32_resources.h"
#include "output/mono_output.h"
#include "output/vichw32.h"

namespace norvale {

namespace {

using namespace monoadapter;

constexpr uint32_t kMonoBufferAddress = 0xB0000;

// The adapter's own buffer, mapped by the driver; the driver goes with it.
class TDriverMonoAdapter final : public IMonoAdapter {
public:
    TDriverMonoAdapter(std::unique_ptr<IVicHwSystem> system, std::unique_ptr<TVicHw32> hardware, uint8_t* cells)
        : system_(std::move(system)), hardware_(std::move(hardware)), cells_(cells) {}

    std::span<uint8_t, kMonoScreenBytes> Cells() override {
        return std::span<uint8_t, kMonoScreenBytes>(cells_, kMonoScreenBytes);
    }
    void WritePort(uint16_t port, uint8_t value) override { hardware_->WritePortByte(port, value); }

private:
    std::unique_ptr<IVicHwSystem> system_;
    std::unique_ptr<TVicHw32> hardware_;
    uint8_t* cells_;
};

// The virtual adapter in the named mapping, which lives as long as any
// process (server or viewer) holds it.
class TMappedMonoAdapter final : public IMonoAdapter {
public:
    TMappedMonoAdapter(UniqueHandle mapping, UniqueMappedView view)
        : mapping_(std::move(mapping)),
          view_(std::move(view)),
          adapter_(std::span<uint8_t, kMappingSize>(static_cast<uint8_t*>(view_.get()), kMappingSize)) {}

    std::span<uint8_t, kMonoScreenBytes> Cells() override { return adapter_.Cells(); }
    void WritePort(uint16_t port, uint8_t value) override { adapter_.WritePort(port, value); }

private:
    UniqueHandle mapping_;
    UniqueMappedView view_;
    TVirtualMonoAdapter adapter_;
};

std::unique_ptr<IMonoAdapter> OpenDriverAdapter() {
    auto system = MakeSystemVicHw();
    auto hardware = std::make_unique<TVicHw32>(*system, true);
    hardware->OpenDriver();
    uint8_t* const cells = hardware->MapPhysicalMemory(kMonoBufferAddress, kMonoScreenBytes);
    if (cells == nullptr) return nullptr;
    return std::make_unique<TDriverMonoAdapter>(std::move(system), std::move(hardware), cells);
}

std::unique_ptr<IMonoAdapter> OpenMappedAdapter() {
    // Creates the mapping, or opens it when a viewer made it first.
    UniqueHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            static_cast<DWORD>(kMappingSize), kMappingName));
    if (!mapping) return nullptr;
    UniqueMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, kMappingSize));
    if (!view) return nullptr;
    return std::make_unique<TMappedMonoAdapter>(std::move(mapping), std::move(view));
}

PlatformVersion AskPlatformVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    // Deprecated, but the banner shows what this call says, as it always has.
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    if (!GetVersionExA(&info)) return {};
    return PlatformVersion{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber,
                           std::string(info.szCSDVersion, strnlen(info.szCSDVersion, sizeof(info.szCSDVersion)))};
}

}  // namespace

std::unique_ptr<IScreenOutput> MakeMonoScreen() {
    PlatformVersion platform = AskPlatformVersion();
    std::unique_ptr<IMonoAdapter> adapter;
    if (platform.platformId == VER_PLATFORM_WIN32_NT) adapter = OpenDriverAdapter();
    if (!adapter) adapter = OpenMappedAdapter();
    return std::make_unique<TMonoScreenOutput>(std::move(adapter), ShortVersionText(OwnFileVersion()),
                                               std::move(platform));
}

}  // namespace norvale
