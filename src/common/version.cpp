#include "common/version.h"

namespace norvale {

FileVersion FileVersionFromWords(uint32_t mostSignificant, uint32_t leastSignificant) {
    return FileVersion{static_cast<uint16_t>(mostSignificant >> 16), static_cast<uint16_t>(mostSignificant),
                       static_cast<uint16_t>(leastSignificant >> 16), static_cast<uint16_t>(leastSignificant)};
}

std::string ShortVersionText(const FileVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.release) + "." + std::to_string(version.build);
}

std::string LongVersionText(const FileVersion& version) {
    return "Version " + std::to_string(version.major) + "." + std::to_string(version.minor) + " Release " +
           std::to_string(version.release) + " Build " + std::to_string(version.build);
}

#ifndef _WIN32
FileVersion OwnFileVersion() { return FileVersion{}; }
#endif

}  // namespace norvale
