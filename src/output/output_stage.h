#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/mutex.h"
#include "common/session_naming.h"
#include "output/file_output.h"
#include "output/formatting.h"
#include "output/output_settings.h"
#include "output/process_outputs.h"

namespace norvale {

// One server object's output stage: its copy of the settings, its output
// file, and the dispatch of every line to the enabled outputs under the output
// lock, in the order console, screen, viewer, file.
class TOutputStage {
public:
    using Clock = std::function<TimeOfDay()>;

    TOutputStage(TMutex& outputLock, TProcessOutputs& outputs, SettingsLocation location,
                 Clock clock = LocalTimeOfDay);

    // Re-reads the settings and applies them to the console and the screen.
    void RefreshProperties();

    // The prefix of a session's line, from the current include switches. The
    // caller holds the output lock, as a session call does throughout.
    void AppendPrefix(std::string& line, const SessionNaming& session, int32_t threadId, int32_t code,
                      std::string_view className);

    // Single lines: the first output that fails ends the call, later outputs
    // are skipped for that line.
    void DispatchLine(const SessionNaming* session, const std::string& line, MessageKind kind);
    void DispatchEnter(const SessionNaming* session, const std::string& prefix, const std::string& message);
    void DispatchExit(const SessionNaming* session, const std::string& prefix, const std::string& message);
    // Blocks: console, screen and file failures end only their own output; a
    // viewer failure reaches the caller.
    void DispatchBlock(const SessionNaming* session, const std::string& prefix,
                       const std::vector<std::string>& entries, const std::string& message);

    // Safe from any thread: it takes the output lock.
    void CloseOutputFile();

    bool OutputFileOpen() const { return file_.OutputFileOpen(); }
    const OutputSettings& Settings() const { return settings_; }

private:
    void DispatchMarked(const SessionNaming* session, const std::string& prefix, std::string_view marker,
                        const std::string& message, MessageKind kind);
    void WriteToOutputs(const TraceLine& line);

    TMutex& outputLock_;
    TProcessOutputs& outputs_;
    const SettingsLocation location_;
    const Clock clock_;
    OutputSettings settings_;
    TFileOutput file_{settings_};
};

}  // namespace norvale
