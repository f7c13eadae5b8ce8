#pragma once

#ifdef _WIN32

// A minidump file read back as a debugger would open it: through dbghelp's
// stream directory, on a mapped view of the file.

#include <cstdint>
#include <string>
#include <vector>

namespace norvale::test {

struct ReadMinidump {
    std::vector<uint32_t> threadIds;
    std::vector<std::string> modulePaths;  // UTF-8, as the dump names them
    bool hasException = false;
    uint32_t exceptionThreadId = 0;
    uint32_t exceptionCode = 0;
    uint64_t exceptionAddress = 0;
};

// Raises std::runtime_error, naming the path, when the file cannot be mapped
// or holds no dump; a stream the dump lacks leaves its members empty.
ReadMinidump ReadMinidumpFile(const std::string& path);

}  // namespace norvale::test

#endif
