#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/mutex.h"
#include "output/mono_adapter_layout.h"
#include "output/mono_banner.h"
#include "output/mono_screen.h"
#include "output/output.h"

namespace norvale {

inline constexpr uint16_t kMonoCrtIndexPort = 0x3B4;
inline constexpr uint16_t kMonoCrtDataPort = 0x3B5;

// Whatever holds the screen: the adapter's buffer reached through the driver,
// or the virtual adapter's mapping.
class IMonoAdapter {
public:
    virtual ~IMonoAdapter() = default;
    virtual std::span<uint8_t, kMonoScreenBytes> Cells() = 0;
    virtual void WritePort(uint16_t port, uint8_t value) = 0;
};

// The adapter in memory of the layout other programs read: cells, then the
// controller's index and registers as the two ports set them.
class TVirtualMonoAdapter final : public IMonoAdapter {
public:
    explicit TVirtualMonoAdapter(std::span<uint8_t, monoadapter::kMappingSize> memory) : memory_(memory) {}

    std::span<uint8_t, kMonoScreenBytes> Cells() override { return memory_.first<kMonoScreenBytes>(); }
    void WritePort(uint16_t port, uint8_t value) override;

private:
    std::span<uint8_t, monoadapter::kMappingSize> memory_;
};

// The monochrome screen output over an adapter, or unavailable without one.
// With an adapter it hides the hardware cursor at once.
class TMonoScreenOutput final : public IScreenOutput {
public:
    TMonoScreenOutput(std::unique_ptr<IMonoAdapter> adapter, std::string shortVersion, PlatformVersion platform);

    bool Unavailable() const override { return adapter_ == nullptr; }
    void Banner() override;
    void WriteLine(const TraceLine& line) override;
    void WriteBlock(const TraceBlock& block) override;

private:
    // Held while the unit lives, for programs that look for it; nothing waits on it.
    TMutex unitMutex_{"Vexdebug unit mutex"};
    std::unique_ptr<IMonoAdapter> adapter_;
    std::string shortVersion_;
    PlatformVersion platform_;
    std::optional<TMonoScreen> screen_;
    std::optional<TMonoDevice> device_;
};

#ifdef _WIN32
// The screen of this process: the "VICHW11" driver's adapter when the driver
// can be had, else the virtual adapter's mapping (created or opened now and
// kept as long as the output lives); unavailable when neither can be had.
std::unique_ptr<IScreenOutput> MakeMonoScreen();
#endif

}  // namespace norvale
