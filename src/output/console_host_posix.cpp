#include <sys/stat.h>
#include <unistd.h>

#include "output/console_output.h"

namespace norvale {

namespace {

// Outside Windows the process's standard output is the console there is.
class TSystemConsoleHost final : public IConsoleHost {
public:
    bool HasUsableStandardOutput() override {
        struct stat info {};
        return ::fstat(STDOUT_FILENO, &info) == 0;
    }
    FileHandle StandardOutput() override { return STDOUT_FILENO; }
    void AllocateConsole() override {}
    void FreeConsole() override {}
};

}  // namespace

std::unique_ptr<IConsoleHost> MakeSystemConsoleHost() { return std::make_unique<TSystemConsoleHost>(); }

}  // namespace norvale
