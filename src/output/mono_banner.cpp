#include "output/mono_banner.h"

#include "common/text.h"

namespace norvale {

namespace {

constexpr uint32_t kPlatformWindows = 1;
constexpr uint32_t kPlatformNt = 2;

}  // namespace

std::string_view PlatformName(const PlatformVersion& platform) {
    if (platform.platformId == kPlatformNt) return "Windows NT ";
    if (platform.platformId != kPlatformWindows) return "Unknown Windows";
    if (platform.major != 4) return {};
    if (platform.minor == 0) return "Windows 95 ";
    if (platform.minor == 10) return "Windows 98 ";
    return "Unknown Windows 95 ";
}

void MonoBanner(TMonoDevice& device, std::string_view shortVersion, const PlatformVersion& platform) {
    device.Flush();
    device.Screen().Clear();
    device.SetAttribute(kMonoNormal);
    device.Write("bran");
    device.SetAttribute(kMonoIntense);
    device.Write("twick");
    device.SetAttribute(kMonoNormal);
    device.Write(" Norvale ");
    device.WriteLine(shortVersion);

    device.Write("running ");
    device.Write(PlatformName(platform));
    device.Write(std::to_string(platform.major) + "." + std::to_string(platform.minor) + "." +
                 std::to_string(platform.build & 0xFFFF) + " (");
    device.SetAttribute(kMonoIntense);
    device.Write(TrimSpaces(platform.servicePack));
    device.SetAttribute(kMonoNormal);
    device.WriteLine(")");
    device.Screen().MonoNewLine();
}

}  // namespace norvale
