#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/trace_row_look.h"
#include "common/window_win32.h"
#include "shell/shell_prompts.h"
#include "shell/trace_form_settings.h"
#include "store/trace_rows_watch.h"
#include "store/trace_shown_rows.h"
#include "store/trace_store.h"

namespace norvale {

// Wakes the trace window to take the rows the store has gathered.
constexpr UINT WM_TRACE_ROWS = WM_USER + 0x410;
// The trace window's next slice of a long pass over the store.
constexpr UINT WM_TRACE_STEP = WM_USER + 0x411;
// Debug output capture changed: the status bar reads it again.
constexpr UINT WM_TRACE_STATUS = WM_USER + 0x412;

// `TTraceForm`: the document window "Trace" of the main frame: every entry
// the process dispatched, live, as rows of an owner-data list under a filter
// bar, with Pause and Clear, copying and saving, and a status bar. A Unicode
// window, so that the list's notifications carry UTF-16 text. It lives on the
// main thread from start to end; the store wakes it by a posted message.
class TTraceForm final : public TWindow {
public:
    // `processStatus`: read for the status bar; it must not wait.
    TTraceForm(HWND documentArea, TTraceStore& store, IShellPrompts& prompts, std::string settingsPath,
               std::function<ProcessStatus()> processStatus);
    ~TTraceForm() override;

    // Shows the window, in front of the frame's other documents.
    void BringToFront();
    // Handles the window's keys (Ctrl+C, Ctrl+L, Ctrl+S, Alt and a filter
    // box's letter) before the frame does; true when it took one.
    bool PreTranslateMessage(const MSG& message);

    // The command identifiers, also for tests that press them.
    static constexpr int btn_Pause = 1;
    static constexpr int btn_Clear = 2;
    static constexpr int ac_Copy = 3;
    static constexpr int ac_Save = 4;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void FormCreate();
    void FormClose();
    void CreateToolBar();
    void CreateFilterBar();
    void CreateList();
    void Layout();
    void RestoreSettings();
    void SaveSettings();

    void WMTraceRows();
    void WMTimerTake();
    void TakeRows();
    void Apply(const TShownChange& change);
    void UpdateStatus();
    void ed_FilterChange();
    void btn_PauseClick();
    void btn_ClearClick();
    void ac_CopyExecute();
    void ac_SaveExecute();
    void Execute(int command);

    struct TCachedRow {
        uint64_t row = UINT64_MAX;
        std::array<std::wstring, kTraceColumnCount> cells;
        TraceRowStyle style = TraceRowStyle::Plain;
    };
    const TCachedRow& CachedRow(size_t index);
    void GetDispInfo(NMLVDISPINFOW& info);
    LRESULT CustomDraw(NMLVCUSTOMDRAW& draw);
    bool LastRowVisible() const;
    void RowPicked();
    std::vector<uint64_t> SelectedRows() const;
    std::vector<uint64_t> ShownRows() const;

    TTraceStore& store_;
    IShellPrompts& prompts_;
    TTraceFormSettings settings_;
    const std::function<ProcessStatus()> processStatus_;
    TShownRows shown_;
    // Made once the window can be woken.
    std::optional<TTraceRowsWatch> watch_;
    HWND toolBar_ = nullptr;
    HWND labels_[3] = {};
    HWND filters_[3] = {};
    HWND lv_Rows = nullptr;
    HWND statusBar_ = nullptr;
    TCachedRow cached_;
    bool polling_ = false;
    bool stepPosted_ = false;
    bool paused_ = false;
    // The user picked a row: new rows do not move the list until the user
    // has scrolled back to its end (from where it stood then).
    bool stayPut_ = false;
    LRESULT stayPutTop_ = 0;
};

}  // namespace norvale
