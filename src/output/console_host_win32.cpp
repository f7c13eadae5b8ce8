#include "output/console_output.h"

namespace norvale {

namespace {

class TSystemConsoleHost final : public IConsoleHost {
public:
    bool HasUsableStandardOutput() override {
        const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        return output != nullptr && output != INVALID_HANDLE_VALUE && GetFileType(output) != FILE_TYPE_UNKNOWN;
    }
    FileHandle StandardOutput() override { return GetStdHandle(STD_OUTPUT_HANDLE); }
    // Results are not checked: a console that could not be made shows up as
    // a failing write.
    void AllocateConsole() override { AllocConsole(); }
    void FreeConsole() override { ::FreeConsole(); }
};

}  // namespace

std::unique_ptr<IConsoleHost> MakeSystemConsoleHost() { return std::make_unique<TSystemConsoleHost>(); }

}  // namespace norvale
