#pragma once

#include <memory>

#include "common/errors.h"
#include "output/output.h"

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <string>
#include <string_view>
#endif

namespace norvale {

class ECodeSiteException : public ENorvaleError {
public:
    using ENorvaleError::ENorvaleError;
};

// The process's trace-viewer output: `TRzCodeSite` on Windows; elsewhere
// there is no viewer to find and messages for it are dropped.
std::unique_ptr<IViewerOutput> MakeCodeSiteViewer();

#ifdef _WIN32

// Sends each line and block to the CodeSite viewer as one WM_COPYDATA record,
// looking for the viewer again at every message and starting it from its
// registered path when no window is found. Every wait is bounded, so a hung
// viewer holds the output lock for a few seconds at most.
class TRzCodeSite final : public IViewerOutput {
public:
    // A send to a viewer that does not answer within this is dropped as if
    // there were no viewer.
    static constexpr DWORD kSendTimeout = 3000;
    // How long a started viewer gets to become idle, and then to show its
    // window: it may report itself idle before the window exists.
    static constexpr DWORD kIdleTimeout = 3000;
    static constexpr DWORD kWindowSearchTime = 2000;
    // Where the viewer keeps its settings: "ExePath" under the local
    // machine (in our own view, else in the 32-bit one), "ByPass" under the
    // current user.
    static constexpr char kExePathKey[] = "SOFTWARE\\Raize\\CodeSite\\1.1";
    static constexpr char kByPassKey[] = "SOFTWARE\\Raize\\CodeSite\\1.1\\CodeRush";

    // Reads `ByPass` once.
    TRzCodeSite();

    void WriteLine(const TraceLine& line) override;
    void WriteBlock(const TraceBlock& block) override;
    uint64_t Undelivered() const override { return undelivered_.load(); }

    // False for the rest of the process once the viewer could not be started.
    bool Enabled() const { return enabled_; }

private:
    void SendCodeSiteMessage(MessageKind kind, std::string_view message, std::string_view data,
                             std::string_view className);
    HWND FindViewerWindow();
    HWND StartViewer(const std::string& commandLine);

    void Lose() { undelivered_.fetch_add(1); }

    bool enabled_ = true;
    std::atomic<uint64_t> undelivered_{0};
    const bool byPass_;
    const std::string programName_;
};

#endif

}  // namespace norvale
