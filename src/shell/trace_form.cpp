// The trace window's life: made with its controls and kept settings, shown,
// closed (the first view only hides), and every message handed to the part
// that handles it. The other parts are trace_form_layout.cpp (the controls and
// where they go), trace_form_rows.cpp (rows from the store into the list),
// trace_form_commands.cpp (commands, keys and menus) and trace_form_find.cpp
// (filters, find and marks).

#include "shell/trace_form.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "common/win32_resources.h"

namespace norvale {

TTraceForm::TTraceForm(HWND documentArea, TTraceDocument document, IShellPrompts& prompts, std::string settingsPath,
                       TTraceFormHooks hooks)
    : prompts_(prompts),
      hooks_(std::move(hooks)),
      first_(document.first),
      ownStore_(document.live != nullptr ? nullptr : std::make_unique<TTraceStore>(1)),
      store_(document.live != nullptr ? *document.live : *ownStore_),
      columns_(ScaledDefaultColumns()),
      errorBrush_(CreateSolidBrush(kErrorBackground)) {
    if (first_) settings_.emplace(std::move(settingsPath));
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    // Until the user places it, the first view fills the frame's document
    // area, maximized; the others open the frame's way.
    RECT area{};
    GetClientRect(documentArea, &area);
    CreateUnicode(L"TTraceForm", WS_EX_MDICHILD, document.caption.c_str(),
                  WS_CHILD | WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, first_ ? 0 : CW_USEDEFAULT,
                  first_ ? 0 : CW_USEDEFAULT, first_ ? area.right : CW_USEDEFAULT,
                  first_ ? area.bottom : CW_USEDEFAULT, documentArea, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // Maximized through the frame, which then keeps its document area
    // without scroll bars.
    const bool firstOpen = settings_ && !settings_->HasPlacement();
    FormCreate();
    if (firstOpen) SendMessageW(documentArea, WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(Handle()), 0);
    const HWND window = Handle();
    watch_.emplace(store_, [window] { PostMessageW(window, WM_TRACE_ROWS, 0, 0); });
    if (ownStore_) {
        load_ = std::make_unique<TTraceFileLoad>(std::move(document.file), *ownStore_,
                                                 [window] { PostMessageW(window, WM_TRACE_READ, 0, 0); });
    }
    // Rows may have come before the window could be woken.
    WMTraceRows();
}

// The reading thread and the store's wake-up go before the window.
TTraceForm::~TTraceForm() {
    load_.reset();
    watch_.reset();
    if (Handle() != nullptr) {
        SaveSettings();
        SendMessageW(GetParent(Handle()), WM_MDIDESTROY, reinterpret_cast<WPARAM>(Handle()), 0);
    }
}

void TTraceForm::FormCreate() {
    CreateToolBar();
    CreateFilterBar();
    CreateList();
    statusBar_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, Handle(), nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    RestoreSettings();
    Layout();
    UpdateStatus();
    SetTimer(Handle(), kStatusTimer, kStatusInterval, nullptr);
}

void TTraceForm::RestoreSettings() {
    const auto kept = settings_ ? settings_->Columns(columns_) : std::nullopt;
    fitMessage_ = !kept;
    if (kept) columns_ = *kept;
    ApplyColumns();
    if (!settings_) return;
    const TraceFilterTexts filters = settings_->Filters();
    // Setting the texts runs the filter once, as typing would.
    SetWindowTextW(filters_[0], filters.show.c_str());
    SetWindowTextW(filters_[1], filters.hide.c_str());
    SetWindowTextW(filters_[2], filters.highlight.c_str());
    settings_->RestorePlacement(Handle());
}

void TTraceForm::SaveSettings() {
    if (!settings_) return;
    try {
        for (size_t i = 0; i < kTraceListColumns; ++i) {
            if (columns_[i].shown) columns_[i].width = static_cast<int>(SendMessageW(lv_Rows, LVM_GETCOLUMNWIDTH, i, 0));
        }
        settings_->SaveColumns(columns_);
        settings_->SaveFilters(shown_.Filter().Texts());
        settings_->SavePlacement(Handle());
    } catch (const std::exception&) {
        // The window goes either way; the next run starts from the defaults.
    }
}

void TTraceForm::BringToFront() {
    ShowWindow(Handle(), SW_SHOW);
    SendMessageW(GetParent(Handle()), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(Handle()), 0);
}

void TTraceForm::FormClose() {
    if (!first_) {
        hooks_.Closed(Handle());
        return;
    }
    // The rows keep coming while the window is away; the frame shows it again.
    // Another document is made active before this one hides: the frame
    // would show a maximized one again to make it active.
    SaveSettings();
    SendMessageW(GetParent(Handle()), WM_MDINEXT, reinterpret_cast<WPARAM>(Handle()), 0);
    ShowWindow(Handle(), SW_HIDE);
}

LRESULT TTraceForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TRACE_ROWS:
            WMTraceRows();
            return 0;
        case WM_TRACE_STATUS:
            UpdateStatus();
            return 0;
        case WM_TRACE_READ:
            TakeRows();
            return 0;
        case WM_TRACE_FIND:
            FindSlice();
            return 0;
        case WM_TRACE_COPY:
            CopySlice();
            return 0;
        case WM_CONTEXTMENU:
            FormContextMenu(reinterpret_cast<HWND>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        case WM_CTLCOLOREDIT: return BoxColour(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam));
        case WM_TRACE_STEP:
            WMTraceStep();
            return 0;
        case WM_TIMER:
            if (wParam == kStatusTimer) {
                UpdateStatus();
                return 0;
            }
            if (wParam == kTakeTimer) {
                WMTimerTake();
                return 0;
            }
            break;
        case WM_COMMAND:
            if (lParam == 0 || reinterpret_cast<HWND>(lParam) == toolBar_) {
                Execute(LOWORD(wParam));
                return 0;
            }
            if (HIWORD(wParam) == EN_CHANGE && reinterpret_cast<HWND>(lParam) == findBox_) {
                ed_FindChange();
                return 0;
            }
            if (HIWORD(wParam) == EN_CHANGE && std::find(std::begin(filters_), std::end(filters_),
                                                         reinterpret_cast<HWND>(lParam)) != std::end(filters_)) {
                ed_FilterChange();
                return 0;
            }
            break;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->code == HDN_BEGINTRACKW || header->code == HDN_BEGINTRACKA) {
                // A hidden column stays hidden; a column the user sizes ends
                // the Message column's fitting.
                const auto column = static_cast<size_t>(reinterpret_cast<NMHEADERW*>(lParam)->iItem);
                if (column < kTraceListColumns && !columns_[column].shown) return TRUE;
                fitMessage_ = false;
                return FALSE;
            }
            if (header->hwndFrom != lv_Rows) break;
            switch (header->code) {
                case LVN_GETDISPINFOW: GetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam)); return 0;
                case NM_CUSTOMDRAW: return CustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
                case LVN_ITEMCHANGED:
                    if ((reinterpret_cast<NMLISTVIEW*>(lParam)->uNewState & LVIS_SELECTED) != 0) RowPicked();
                    return 0;
                default: break;
            }
            break;
        }
        case WM_NOTIFYFORMAT: return NFR_UNICODE;
        case WM_SIZE:
            Layout();
            break;  // The frame must see it too.
        case WM_CLOSE:
            FormClose();
            return 0;
        default: break;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

LRESULT TTraceForm::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefMDIChildProcW(Handle(), message, wParam, lParam);
}

}  // namespace norvale
