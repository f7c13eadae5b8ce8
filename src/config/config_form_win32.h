#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/tabbed_form_win32.h"
#include "config/config_values.h"
#include "config/options_settings.h"
#include "config/registry_api.h"

namespace norvale {

// The browse dialog of the output file: a text file, or any.
std::optional<std::string> ChooseOutputFile(HWND owner);

// The Status page's content, read at one moment.
struct SessionStatus {
    int32_t openSessionCount = 0;
    std::vector<std::string> names;
};

// What the properties dialog needs of the parts of the program above it.
struct TConfigFormHooks {
    // The program re-reads the settings. Called on the dialog's thread, it
    // must not wait: the program does it elsewhere and shows a failure.
    std::function<void()> RefreshProperties = [] {};
    // Read on the dialog's thread; it must not wait.
    std::function<SessionStatus()> Status = [] { return SessionStatus{}; };
    // The user's request to end the program; true when it is ending.
    std::function<bool()> RequestTerminate = [] { return false; };
    // The browse dialog: a chosen file, or none.
    std::function<std::optional<std::string>(HWND owner)> BrowseForFile = ChooseOutputFile;
    // What keeps debug output capture from running as asked; empty when
    // nothing does. Read on the dialog's thread; it must not wait.
    std::function<std::wstring()> CaptureProblem = [] { return std::wstring(); };
    // Why nothing is forwarded to the syslog server, in the system's code
    // page; empty while all is well. Read on the dialog's thread; it must not wait.
    std::function<std::string()> ForwardProblem = [] { return std::string(); };
    // Why other machines' syslog is not received, in the system's code page;
    // empty while all is well. Read on the dialog's thread; it must not wait.
    std::function<std::string()> ReceiveProblem = [] { return std::string(); };
    // What keeps the output file from rotating, in the system's code page;
    // empty while nothing does. Read on the dialog's thread; it must not wait.
    std::function<std::string()> FileProblem = [] { return std::string(); };
    // No monochrome screen can be had on this machine.
    bool MonoUnavailable = false;
};

// `TNorvaleConfigForm`: "Norvale Properties", with the outputs and line
// fields on "General", the open sessions on "Status", the trace window's,
// debug output capture and Unicode settings on "Options", syslog sent on
// "Forwarding", syslog received on "Receiving" and the file's rotation on
// "Output file". Made once, at the first opening, and kept for the run.
// `root` and `subkey` hold the `Output` values, `options` the `Options` key.
class TNorvaleConfigForm final : public TTabbedForm {
public:
    TNorvaleConfigForm(HWND owner, RegKey root, std::string subkey, TConfigFormHooks hooks,
                       OptionsLocation options = {});

    // From any thread, also under the output lock: the Status page is
    // refreshed on the dialog's thread, once however often it is asked
    // before it gets there.
    void RequestRefreshStatus();
    void RefreshStatus();

protected:
    void LoadSettings() override;
    void SaveSettings() override;
    bool PageCommand(int id, int code) override;
    bool PageNotify(const NMHDR& header) override;
    bool FormMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnModified();
    void cb_ToFileClick();
    void cb_CaptureDebugOutputClick();
    void cb_ToSyslogClick();
    void cb_ListenSyslogClick();
    void btn_BrowseClick();
    void SpeedButton2Click();
    ConfigValues ShownValues() const;
    void LoadOptions();
    // The states of the parts that come and go on their own: forwarding's
    // collector, receiving's addresses, the output file's readers.
    void ShowStates();
    void SaveOptions() const;

    RegKey root_;
    std::string subkey_;
    const OptionsLocation options_;
    TConfigFormHooks hooks_;
    // `Handle()` as other threads read it: set once, before any can ask.
    const HWND window_;
    std::atomic<bool> refreshAsked_{false};
    bool loading_ = false;
};

}  // namespace norvale
