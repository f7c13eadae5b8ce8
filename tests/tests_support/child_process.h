#pragma once

#ifdef _WIN32

#include <cstdint>
#include <string>

#include "common/win32_resources.h"

namespace norvale::test {

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
    int64_t WaitForExit(uint32_t milliseconds = 60000);

    // Asks the process's main thread to end its message loop and waits for
    // the end. A killed COM server would leave its class registered with the
    // platform's COM service, failing every later activation.
    int64_t Quit(uint32_t milliseconds = 20000);

    // Ends the process at once, as a crash or the task manager would.
    void Kill();

    // The tray menu's Close, sent to the process's main window; false when
    // it has none.
    bool RequestClose();

    DWORD Id() const { return id_; }

private:
    UniqueHandle process_;
    DWORD mainThread_ = 0;
    DWORD id_ = 0;
};

}  // namespace norvale::test

#endif
