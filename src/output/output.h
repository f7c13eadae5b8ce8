#pragma once

// What the dispatch hands to each output. Console, screen and file show
// `text`; the viewer gets `viewerText` (without the enter/exit marker) and the
// kind. A block is its heading, then each entry after the indent (the viewer
// gets the entries without it). The texts are in the code page, or in UTF-8
// where the console and the file are set to it.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/session_naming.h"
#include "output/formatting.h"
#include "output/output_file_name.h"

namespace norvale {

struct TraceLine {
    std::string_view text;
    std::string_view viewerText;
    MessageKind kind = MessageKind::Plain;
    const SessionNaming* session = nullptr;  // none for the server's notices
    FileEncoding encoding = FileEncoding::Ansi;
    // Whose values `session` holds, as the file's name takes them.
    NameValues names = NameValues::Local;
};

struct TraceBlock {
    std::string_view heading;
    std::string_view indent;
    const std::vector<std::string>& entries;
    const SessionNaming* session = nullptr;
    FileEncoding encoding = FileEncoding::Ansi;
    NameValues names = NameValues::Local;
};

class IOutput {
public:
    virtual ~IOutput() = default;
    // Both raise on failure; the dispatch decides what a failure ends.
    virtual void WriteLine(const TraceLine& line) = 0;
    virtual void WriteBlock(const TraceBlock& block) = 0;
};

// Console, screen and file show a block as separate lines: the heading,
// then each entry after the indent.
template <typename WriteText>
void WriteBlockAsLines(const TraceBlock& block, WriteText writeText) {
    writeText(block.heading);
    std::string line;
    for (const auto& entry : block.entries) {
        line.assign(block.indent);
        line += entry;
        writeText(std::string_view(line));
    }
}

// The console: allocated and released with the `ToConsole` setting.
class IConsoleOutput : public IOutput {
public:
    virtual void SwitchConsole(bool on) = 0;
};

// The monochrome screen, reached through the same interface; it can be
// missing, and it shows a banner when turned on.
class IScreenOutput : public IOutput {
public:
    virtual bool Unavailable() const = 0;
    virtual void Banner() = 0;
};

// Until the monochrome screen is built, the process has none.
class TNoScreen final : public IScreenOutput {
public:
    bool Unavailable() const override { return true; }
    void Banner() override {}
    void WriteLine(const TraceLine&) override {}
    void WriteBlock(const TraceBlock&) override {}
};

// The viewer: a record it cannot deliver (no viewer, a send that timed out,
// a viewer that could not start) is lost without failing the call, since the
// viewer is a help and not the record; so it counts every record it loses.
class IViewerOutput : public IOutput {
public:
    // Since the process started; safe from any thread.
    virtual uint64_t Undelivered() const = 0;
};

// Where there is no viewer to find, every record for it is lost.
class TNoViewer final : public IViewerOutput {
public:
    void WriteLine(const TraceLine&) override { Lose(); }
    void WriteBlock(const TraceBlock&) override { Lose(); }
    uint64_t Undelivered() const override { return undelivered_.load(); }

private:
    void Lose() { undelivered_.fetch_add(1); }
    std::atomic<uint64_t> undelivered_{0};
};

}  // namespace norvale
