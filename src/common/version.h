#pragma once

#include <cstdint>
#include <string>

namespace norvale {

// The four numbers of a file version resource: major and minor from the most
// significant word, release and build from the least significant one.
struct FileVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t release = 0;
    uint16_t build = 0;
};

FileVersion FileVersionFromWords(uint32_t mostSignificant, uint32_t leastSignificant);

// "1.0.1.65"
std::string ShortVersionText(const FileVersion& version);
// "Version 1.0 Release 1 Build 65"
std::string LongVersionText(const FileVersion& version);

// The version resource of this program's own executable; all zeros when it
// has none (and always in a build without version resources).
FileVersion OwnFileVersion();

#ifdef _WIN32
// The version resource of any executable or library; all zeros when it has none.
FileVersion ReadFileVersion(const std::string& path);
#endif

}  // namespace norvale
