#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/win32_resources.h"
#include "common/window_win32.h"
#include "shell/shell_prompts.h"
#include "shell/trace_columns.h"
#include "shell/trace_form_settings.h"
#include "shell/trace_row_look.h"
#include "store/trace_file_load.h"
#include "store/trace_copy_text.h"
#include "store/trace_find.h"
#include "store/trace_marks.h"
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
// The next slice of a find.
constexpr UINT WM_TRACE_FIND = WM_USER + 0x413;
// A saved trace's reading thread has ended.
constexpr UINT WM_TRACE_READ = WM_USER + 0x414;
// The next slice of a Copy.
constexpr UINT WM_TRACE_COPY = WM_USER + 0x415;

// What a trace document shows.
struct TTraceDocument {
    // "Trace", "Trace 2", or a saved trace's file name.
    std::wstring caption;
    // The live rows, which every view of them shares; none for a saved
    // trace, read from `file` into a store of the document's own.
    TTraceStore* live = nullptr;
    UniqueFile file;
    // The first view: it keeps its place, widths and filters between runs,
    // and closing only hides it.
    bool first = false;
};

// What the frame does for a trace document.
struct TTraceFormHooks {
    // Read for a live view's status bar; it must not wait.
    std::function<ProcessStatus()> ReadProcessStatus = [] { return ProcessStatus{}; };
    std::function<void()> NewView = [] {};
    std::function<void()> Open = [] {};
    // A document other than the first was closed: the frame lets it go (it
    // must not destroy the window from inside this call).
    std::function<void(HWND)> Closed = [](HWND) {};
};

// `TTraceForm`: a document window of the main frame: the live rows (the
// first view "Trace", and more views of them, each with filters, highlight,
// marks and find of its own) or a saved trace, as rows of an owner-data list
// under a bar (Pause, Clear, Open…, New view, Find) and the filter boxes,
// with copying, saving and a status bar. A Unicode window, so that the list's
// notifications carry UTF-16 text. It lives on the main thread; the store
// wakes it by a posted message.
class TTraceForm final : public TWindow {
public:
    TTraceForm(HWND documentArea, TTraceDocument document, IShellPrompts& prompts, std::string settingsPath,
               TTraceFormHooks hooks);
    ~TTraceForm() override;

    // Shows the window, in front of the frame's other documents.
    void BringToFront();
    // Handles the window's keys (Ctrl+C, Ctrl+L, Ctrl+S, Ctrl+F, Enter in
    // Find, F3, F2 and Ctrl+F2, Alt and a filter box's letter, Escape in a
    // box) before the frame does; true when it took one.
    bool PreTranslateMessage(const MSG& message);

    // The command identifiers, also for tests that press them.
    static constexpr int btn_Pause = 1;
    static constexpr int btn_Clear = 2;
    static constexpr int ac_Copy = 3;
    static constexpr int ac_Save = 4;
    static constexpr int btn_Open = 5;
    static constexpr int btn_NewView = 6;
    static constexpr int ac_FindNext = 7;
    static constexpr int ac_FindPrevious = 8;
    static constexpr int ac_ToggleMark = 9;
    static constexpr int ac_NextMark = 10;
    static constexpr int ac_PreviousMark = 11;
    // The header menu's entries: this plus the column's subitem.
    static constexpr int ac_ShowColumn = 100;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // The poll's timer while rows keep coming, as often as what a take costs
    // allows (`TTraceRowsWatch::NextLook`).
    static constexpr UINT_PTR kTakeTimer = 1;
    // Capture's counts change without rows when the window is off for entries.
    static constexpr UINT_PTR kStatusTimer = 2;
    static constexpr DWORD kStatusInterval = 1000;
    static constexpr const wchar_t* kLabels[3] = {L"&Show", L"&Hide", L"Hi&ghlight"};
    // The letter of each label's accelerator, with Alt.
    static constexpr WPARAM kLabelKeys[3] = {'S', 'H', 'G'};
    // A box whose terms do not parse.
    static constexpr COLORREF kErrorBackground = RGB(255, 200, 200);

    // trace_form.cpp: the window's life.
    void FormCreate();
    void FormClose();
    void RestoreSettings();
    void SaveSettings();

    // trace_form_layout.cpp: the controls and where they go.
    void CreateToolBar();
    void CreateFilterBar();
    void CreateList();
    void Layout();
    // With no kept widths, the Message column takes what the others leave.
    void FitMessage();
    static TraceColumnLayout ScaledDefaultColumns();
    void ApplyColumns();
    void ShowColumn(size_t column);
    LRESULT BoxColour(HWND box, HDC dc);

    // trace_form_rows.cpp: rows from the store into the list.
    void WMTraceRows();
    void WMTraceStep();
    void WMTimerTake();
    void TakeRows();
    // Sets the poll's timer to the interval the last take calls for.
    void LookAgain();
    void Apply(const TShownChange& change);
    void UpdateStatus();
    std::wstring Note() const;

    // trace_form_find.cpp: filters, find and marks.
    void ed_FilterChange();
    void ed_FindChange();
    void ac_FindExecute(TraceFindWay way);
    void FindSlice();
    void ac_ToggleMarkExecute();
    void StepToMark(bool next);

    // trace_form_commands.cpp: commands, keys and menus.
    void Execute(int command);
    void btn_PauseClick();
    void btn_ClearClick();
    void ac_CopyExecute();
    void CopySlice();
    void ac_SaveExecute();
    void FocusBox(HWND box);
    bool IsBox(HWND window) const;
    void FormContextMenu(HWND clicked, POINT at);
    void HeaderMenu(POINT at);
    void RowsMenu(POINT at);

    struct TCachedRow {
        uint64_t row = UINT64_MAX;
        // The shown row before it, for Δ.
        uint64_t previous = UINT64_MAX;
        std::array<std::wstring, kTraceColumnCount + 1> cells;
        TraceRowStyle style = TraceRowStyle::Plain;
    };
    // trace_form_rows.cpp: the list's cells, colours and selection.
    const TCachedRow& CachedRow(size_t index);
    void GetDispInfo(NMLVDISPINFOW& info);
    LRESULT CustomDraw(NMLVCUSTOMDRAW& draw);
    bool LastRowVisible() const;
    void RowPicked();
    void SelectRow(size_t index);
    std::optional<size_t> SelectedIndex() const;
    std::vector<uint64_t> SelectedRows() const;
    std::vector<uint64_t> ShownRows() const;

    IShellPrompts& prompts_;
    TTraceFormHooks hooks_;
    const bool first_;
    // A saved trace's own rows; `store_` is these or the live ones.
    std::unique_ptr<TTraceStore> ownStore_;
    TTraceStore& store_;
    std::optional<TTraceFormSettings> settings_;
    TShownRows shown_;
    TTraceMarks marks_;
    TraceColumnLayout columns_;
    // No widths were kept: the Message column takes what the others leave,
    // until the user sizes a column.
    bool fitMessage_ = false;
    HWND toolBar_ = nullptr;
    HWND findLabel_ = nullptr;
    HWND findBox_ = nullptr;
    HWND labels_[3] = {};
    HWND filters_[3] = {};
    HWND lv_Rows = nullptr;
    HWND statusBar_ = nullptr;
    UniqueGdiObject errorBrush_;
    TTraceTerms findTerms_;
    std::optional<std::string> findError_;
    std::optional<TTraceFind> find_;
    std::optional<TTraceCopy> copy_;
    TraceFindWay findWay_ = TraceFindWay::Next;
    // Where find or a step to a mark went, or why it found nothing.
    std::wstring stepNote_;
    TCachedRow cached_;
    bool polling_ = false;
    std::chrono::microseconds lastTake_{0};
    bool stepPosted_ = false;
    bool paused_ = false;
    // The user picked a row: new rows do not move the list until the user
    // has scrolled back to its end (from where it stood then).
    bool stayPut_ = false;
    LRESULT stayPutTop_ = 0;
    // Made once the window can be woken.
    std::optional<TTraceRowsWatch> watch_;
    // A saved trace's reading thread, ended first.
    std::unique_ptr<TTraceFileLoad> load_;
};

}  // namespace norvale
