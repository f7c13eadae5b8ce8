#include "output/mono_output.h"

namespace norvale {

using namespace monoadapter;

void TVirtualMonoAdapter::WritePort(uint16_t port, uint8_t value) {
    if (port == kMonoCrtIndexPort) {
        memory_[kCrtIndexOffset] = value;
    } else if (port == kMonoCrtDataPort) {
        memory_[kCrtRegistersOffset + memory_[kCrtIndexOffset] % kCrtRegisterCount] = value;
    }
}

TMonoScreenOutput::TMonoScreenOutput(std::unique_ptr<IMonoAdapter> adapter, std::string shortVersion,
                                     PlatformVersion platform)
    : adapter_(std::move(adapter)), shortVersion_(std::move(shortVersion)), platform_(std::move(platform)) {
    if (!adapter_) return;
    // Start and end scan line 16 put the cursor below the character cell.
    adapter_->WritePort(kMonoCrtIndexPort, kCursorStartRegister);
    adapter_->WritePort(kMonoCrtDataPort, 0x10);
    adapter_->WritePort(kMonoCrtIndexPort, kCursorEndRegister);
    adapter_->WritePort(kMonoCrtDataPort, 0x10);
    screen_.emplace(adapter_->Cells());
    device_.emplace(*screen_);
}

// An unavailable screen is never switched on; calls made anyway do nothing.
void TMonoScreenOutput::Banner() {
    if (device_) MonoBanner(*device_, shortVersion_, platform_);
}

void TMonoScreenOutput::WriteLine(const TraceLine& line) {
    if (device_) MonoWriteLine(*device_, line.text);
}

void TMonoScreenOutput::WriteBlock(const TraceBlock& block) {
    if (device_) WriteBlockAsLines(block, [this](std::string_view text) { MonoWriteLine(*device_, text); });
}

}  // namespace norvale
