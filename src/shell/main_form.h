#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/pictures_win32.h"
#include "common/win32_resources.h"
#include "common/window_win32.h"
#include "debugger/process_form.h"
#include "server/server_instance.h"
#include "server/session_registry.h"
#include "shell/shell_prompts.h"
#include "shell/trace_form.h"
#include "shell/tray_icon.h"
#include "store/trace_store.h"

namespace norvale {

class TMainFormPlacement;

// What the shell asks of the parts of the program it cannot see.
struct TShellHooks {
    // The user's closing request; true when the message loop is ending.
    std::function<bool()> RequestTerminate = [] { return false; };
    // Runs a program under the debugger.
    std::function<void(const std::string& program)> SpawnProcess = [](const std::string&) {};
    // The user took the frame (showed it from the icon, or spawned a program
    // from it) or hid it: while the user has it, the process keeps running
    // without clients. A frame that only a client's attach showed does not
    // keep it, so that the process ends with its last client whether the
    // frame came before or after that client let go.
    std::function<void(bool held)> HeldByUser = [](bool) {};
    // Where debug output capture stands and what the viewer lost, for the
    // trace window's status bar and the icon's tip; it must not wait.
    std::function<ProcessStatus()> ReadProcessStatus = [] { return ProcessStatus{}; };
    // The output file as last published, read without a lock.
    std::function<bool()> OutputFileOpen = [] { return false; };
    // "Flush output file": it must not wait, so the program runs it off the
    // main thread.
    std::function<void()> FlushOutputFile = [] {};
    // Windows asks whether the session may end: nothing may wait.
    std::function<void()> SessionMayEnd = [] {};
    // The session ends, and with it the process at any moment after: what
    // is buffered must reach the disk before the answer, even if it waits.
    std::function<void()> SessionEnds = [] {};
};

// `TMainForm`: the hidden multiple-document frame that holds the trace window
// and the debugger's process windows, with the icon in the notification area
// and its menu. It lives on the main thread for the whole run.
class TMainForm final : public TWindow, public IProcessWindowHost {
public:
    // `configPath`, when given, replaces the program's own registry key (the
    // tests keep theirs apart).
    TMainForm(TServerInstance& instance, TSessionRegistry& registry, IShellPrompts& prompts, TTraceStore& traceStore,
              TShellHooks hooks, const std::string& configPath = {});
    ~TMainForm() override;

    // Gives the frame its keyboard messages first; true when it took one.
    // A command that fails is shown through the prompts, never raised.
    bool PreTranslateMessage(MSG& message);

    // Shows the frame, the trace window within it, also for a debugging
    // run's first window.
    void ShowDebugWindow() override;
    HWND DocumentArea() const override { return mdiClient_; }
    std::optional<std::wstring> ChooseDumpFileToSave(HWND owner) override {
        return prompts_.ChooseDumpFileToSave(owner);
    }
    // The trace window (the live rows' first view), which other threads
    // wake by posted messages.
    HWND TraceWindow() const { return traceForms_.front()->Handle(); }

    // From any thread: the failure of work done for the main thread is
    // shown on it, as its own would be.
    static void PostFailure(HWND mainWindow, const std::string& text);

    TTrayIcon& TrayIcon1() { return trayIcon_; }
    TTraceForm& TraceForm() { return *traceForms_.front(); }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) override;
    void FillClass(WNDCLASSEXA& windowClass) override;

private:
    void FormCreate();
    void FormShow();
    void FormHide();
    void TakeForUser();
    void FormClose();
    void FormResize();

    void TrayIcon1RightClick(int x, int y);
    void mu_TrayPopup();
    void Execute(UINT command);
    void ac_PropertiesExecute();
    void ac_AboutExecute();
    void ac_CloseExecute();
    void ac_FlushOutputFileExecute();
    void ac_ShowDebugWindowExecute();
    void btn_SpawnProcessClick();
    void ShowModal(TShellDialog dialog);

    void CreateToolBar();
    void CreateTrayMenu();
    // The trace documents: the first view, more views, saved traces.
    void AddTraceDocument(TTraceDocument document);
    void btn_NewViewClick();
    void btn_OpenClick();
    void TraceDocumentClosed(HWND document);
    void UpdateToolTip();

    TServerInstance& instance_;
    TSessionRegistry& registry_;
    IShellPrompts& prompts_;
    TTraceStore& traceStore_;
    TShellHooks hooks_;
    const std::string configPath_;
    std::unique_ptr<TMainFormPlacement> placement_;
    std::vector<UniqueGdiObject> commandPictures_;
    UniqueIcon bigIcon_;
    UniqueIcon smallIcon_;
    HWND mdiClient_ = nullptr;
    HWND toolBar_ = nullptr;
    UniqueImageList toolBarImages_;
    UniqueMenu mu_Tray_;
    TTrayIcon trayIcon_;
    // The first is the first view; it lives as long as the frame.
    std::vector<std::unique_ptr<TTraceForm>> traceForms_;
    // The number in the next view's caption ("Trace 2", "Trace 3", ...).
    int nextView_ = 2;
    bool FDialogActive = false;
    bool heldByUser_ = false;
    bool FClosing = false;
};

}  // namespace norvale
