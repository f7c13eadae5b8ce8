#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "common/file_io.h"
#include "output/output.h"

namespace norvale {

// The process's console as the console writer needs it.
class IConsoleHost {
public:
    virtual ~IConsoleHost() = default;
    // True when the process was given a terminal, file or pipe as standard
    // output when it started.
    virtual bool HasUsableStandardOutput() = 0;
    virtual FileHandle StandardOutput() = 0;
    virtual void AllocateConsole() = 0;
    virtual void FreeConsole() = 0;
    // UTF-8 text: a file or a pipe gets its bytes; a console window, which
    // would read them in its own code page, is given the characters.
    // Returns the system's error number, 0 on success.
    virtual uint32_t WriteUtf8(FileHandle output, std::string_view text) {
        return FileWrite(output, text.data(), static_cast<uint32_t>(text.size()));
    }
};

std::unique_ptr<IConsoleHost> MakeSystemConsoleHost();

// Writes each line with CR LF straight to standard output, bound at first use.
// A process started with a standard output writes there and never allocates a
// console over it; otherwise the console comes and goes with `ToConsole`.
class TConsoleOutput final : public IConsoleOutput {
public:
    explicit TConsoleOutput(std::unique_ptr<IConsoleHost> host);

    void SwitchConsole(bool on) override;
    void WriteLine(const TraceLine& line) override { WriteText(line.text, line.encoding); }
    void WriteBlock(const TraceBlock& block) override;
    bool ConsoleAllocated() const { return consoleAllocated_; }

private:
    void WriteText(std::string_view text, FileEncoding encoding);

    std::unique_ptr<IConsoleHost> host_;
    const bool startedWithOutput_;
    bool consoleAllocated_ = false;
    bool bound_ = false;
    FileHandle output_ = FileHandleTraits::Invalid();
    std::string line_;
};

}  // namespace norvale
