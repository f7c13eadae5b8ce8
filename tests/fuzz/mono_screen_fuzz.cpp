// The screen writer on any bytes and any line lengths: it never writes
// outside the 4000 bytes it is given (the block is exactly that size, so the
// sanitizer sees any overrun), the cursor stays on the screen, and a line
// without control codes started at the left edge ends at the left edge of
// the next row.

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "output/mono_banner.h"
#include "output/mono_screen.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace norvale;
    fuzz::Input input(data, size);
    const auto block = std::make_unique<uint8_t[]>(kMonoScreenBytes);
    TMonoScreen screen(std::span<uint8_t, kMonoScreenBytes>(block.get(), kMonoScreenBytes));
    TMonoDevice device(screen);
    for (int step = 0; step < 64 && input.Byte() != 0xFF; ++step) {
        switch (input.Byte() % 5) {
            case 0: {
                // Long lines from a short input: the text repeated.
                const std::string text = input.Text();
                std::string line;
                for (int repeat = input.Byte() % 8 + 1; repeat > 0; --repeat) line += text;
                const bool plain =
                    std::none_of(line.begin(), line.end(), [](char c) { return static_cast<uint8_t>(c) < 32; });
                device.Flush();
                const size_t column = screen.Column();
                const size_t row = screen.Row();
                MonoWriteLine(device, line);
                if (plain && column == 0) {
                    fuzz::Require(screen.Column() == 0);
                    fuzz::Require(screen.Row() == std::min(row + 1, kMonoRows - 1));
                }
                break;
            }
            case 1:
                device.Write(input.Text());
                break;
            case 2:
                device.SetAttribute(static_cast<uint16_t>(input.Byte() << 8));
                break;
            case 3:
                screen.MonoScroll();
                break;
            default: {
                const std::string version = input.Text();
                MonoBanner(device, version,
                           PlatformVersion{input.Byte(), input.Byte(), input.Byte(),
                                           static_cast<uint32_t>(input.Number()), input.Text()});
                break;
            }
        }
        fuzz::Require(screen.Column() < kMonoColumns && screen.Row() < kMonoRows);
    }
    device.Flush();
    fuzz::Require(screen.Column() < kMonoColumns && screen.Row() < kMonoRows);
    return 0;
}
