#include "tests_support/paths.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>

#include "common/text.h"
#else
#include <unistd.h>
#endif

namespace norvale::test {

#ifdef _WIN32
std::string BinDirectory() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return PathPartOfPath(path);
}

std::string NorvaleExePath() { return BinDirectory() + "norvale.exe"; }
#endif

std::string UniqueTestName(const std::string& stem) {
    static std::atomic<int> counter{0};
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    return stem + "_" + std::to_string(pid) + "_" + std::to_string(counter++);
}

}  // namespace norvale::test
