#include "tests_support/unix_program.h"

#include <windows.h>

#include <algorithm>

#include "common/win32_resources.h"

namespace norvale::test {

bool StartUnixProgram(const std::string& path, std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        return false;
    }
    const UniqueHandle thread(started.hThread), process(started.hProcess);
    return true;
}

std::string UnixPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path.substr(2);
}

}  // namespace norvale::test
