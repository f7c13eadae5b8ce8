#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "output/mono_screen.h"

namespace norvale {

// What the platform says of its version (GetVersionExA's fields).
struct PlatformVersion {
    uint32_t platformId = 0;
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    std::string servicePack;
};

// The platform's name as the banner shows it, trailing space included; empty
// for a 9x platform of another major version.
std::string_view PlatformName(const PlatformVersion& platform);

// Clears the screen and writes the three banner rows: maker and program
// version, the platform, and an empty row; trace lines then start on row 3.
void MonoBanner(TMonoDevice& device, std::string_view shortVersion, const PlatformVersion& platform);

}  // namespace norvale
