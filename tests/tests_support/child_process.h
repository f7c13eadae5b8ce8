#pragma once

#ifdef _WIN32

#include <concepts>
#include <cstdint>
#include <ostream>
#include <string>

#include "common/win32_resources.h"

namespace norvale::test {

// How a waited-for process ended: its exit code, or -1 while it still ran
// when the wait was over. A failed expectation on it says what was waited for
// and how long, not just "-1".
struct ProcessEnd {
    int64_t code = -1;
    uint32_t waitedMilliseconds = 0;
    std::string commandLine;

    operator int64_t() const { return code; }
    template <std::integral Code>
    bool operator==(Code expected) const {
        return code == static_cast<int64_t>(expected);
    }
};
void PrintTo(const ProcessEnd& end, std::ostream* out);

// A process the test started; it is waited for with a time limit and ended
// by its handle if it outlives the test.
class ChildProcess {
public:
    // With `outputPath`, the process's standard output and error go to that
    // file; `creationFlags` as the platform takes them.
    explicit ChildProcess(const std::string& commandLine, const std::string& outputPath = {},
                          uint32_t creationFlags = 0);
    ~ChildProcess();
    ChildProcess(ChildProcess&&) = default;

    // The exit code, or -1 when the process did not end in time.
    ProcessEnd WaitForExit(uint32_t milliseconds = 60000);

    // Asks the process's main thread to end its message loop and waits for
    // the end. A killed COM server would leave its class registered with the
    // platform's COM service, failing every later activation.
    ProcessEnd Quit(uint32_t milliseconds = 20000);

    // Ends the process at once, as a crash or the task manager would.
    void Kill();

    // The tray menu's Close, sent to the process's main window; false when
    // it has none.
    bool RequestClose();

    DWORD Id() const { return id_; }

private:
    std::string commandLine_;
    UniqueHandle process_;
    DWORD mainThread_ = 0;
    DWORD id_ = 0;
};

}  // namespace norvale::test

#endif
