#pragma once

// Outputs that write into one shared journal, so a test sees what reached
// which output in which order, and can make any of them fail.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/ansi_text.h"
#include "common/errors.h"
#include "output/output.h"
#include "output/process_outputs.h"
#include "tests_support/scratch.h"

namespace norvale::test {

struct Journal {
    std::vector<std::string> entries;
};

class TRecordingOutput {
public:
    TRecordingOutput(Journal& journal, std::string name) : journal_(journal), name_(std::move(name)) {}

    void Record(const std::string& what) {
        if (failing) throw EInOutError(name_ + " failed", 5);
        journal_.entries.push_back(name_ + ": " + what);
        if (recorded) recorded(what);
    }

    bool failing = false;
    // Runs on the writing thread, under the output lock, after each record.
    std::function<void(const std::string&)> recorded;

private:
    Journal& journal_;
    std::string name_;
};

class TRecordingConsole final : public IConsoleOutput, public TRecordingOutput {
public:
    explicit TRecordingConsole(Journal& journal) : TRecordingOutput(journal, "console") {}
    void SwitchConsole(bool on) override { switchedOn = on; }
    void WriteLine(const TraceLine& line) override { Record(std::string(line.text)); }
    void WriteBlock(const TraceBlock& block) override {
        WriteBlockAsLines(block, [this](std::string_view text) { Record(std::string(text)); });
    }
    bool switchedOn = false;
};

class TRecordingScreen final : public IScreenOutput, public TRecordingOutput {
public:
    explicit TRecordingScreen(Journal& journal) : TRecordingOutput(journal, "screen") {}
    bool Unavailable() const override { return unavailable; }
    void Banner() override { ++banners; }
    void WriteLine(const TraceLine& line) override { Record(std::string(line.text)); }
    void WriteBlock(const TraceBlock& block) override {
        WriteBlockAsLines(block, [this](std::string_view text) { Record(std::string(text)); });
    }
    bool unavailable = false;
    int banners = 0;
};

// The viewer gets texts without markers and indents, and the kind.
class TRecordingViewer final : public IViewerOutput, public TRecordingOutput {
public:
    explicit TRecordingViewer(Journal& journal) : TRecordingOutput(journal, "viewer") {}
    void WriteLine(const TraceLine& line) override {
        Record(std::string(line.viewerText) + " [" + std::to_string(static_cast<int>(line.kind)) + "]");
    }
    void WriteBlock(const TraceBlock& block) override {
        std::string text(block.heading);
        for (const auto& entry : block.entries) text += "|" + entry;
        Record(text + " [6]");
    }
    uint64_t Undelivered() const override { return 0; }
};

// The trace window's place: the entry's text, its block's lines and its
// kind; the options it was given.
class TRecordingWindow final : public IEntrySink, public TRecordingOutput {
public:
    explicit TRecordingWindow(Journal& journal) : TRecordingOutput(journal, "window") {}
    void Append(const TraceEntry& entry) noexcept override {
        std::string text = WideToAnsi(entry.text);
        if (entry.block != nullptr) {
            for (const auto& line : entry.block->Wide()) text += "|" + WideToAnsi(line);
        }
        Record(text + " [" + std::to_string(static_cast<int>(entry.kind)) + "]");
    }
    void ApplyOptions(const OptionsSettings& options) override { windowLines = options.WindowLines; }
    uint32_t windowLines = 0;
};

// Process outputs made of the recorders, with options of the test's own,
// reachable by the test.
struct RecordingProcessOutputs {
    Journal journal;
    TRecordingConsole* console;
    TRecordingScreen* screen;
    TRecordingViewer* viewer;
    TRecordingWindow window{journal};
    ScratchSettings options;
    std::unique_ptr<TProcessOutputs> outputs;

    RecordingProcessOutputs() {
        auto c = std::make_unique<TRecordingConsole>(journal);
        auto s = std::make_unique<TRecordingScreen>(journal);
        auto v = std::make_unique<TRecordingViewer>(journal);
        console = c.get();
        screen = s.get();
        viewer = v.get();
        // Off unless a test turns it on: the other outputs' journals stay theirs.
        options.SetFlag("ToWindow", false);
        outputs = std::make_unique<TProcessOutputs>(std::move(c), std::move(s), std::move(v),
                                                    OptionsLocation{options.Location().root, options.Location().subkey});
        outputs->SetWindow(&window);
    }
};

}  // namespace norvale::test
