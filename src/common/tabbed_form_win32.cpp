#include "common/tabbed_form_win32.h"

#include <commctrl.h>

#include "common/common_resources.h"
#include "common/window_win32.h"

namespace norvale {

namespace {

constexpr int kMargin = 5;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;

}  // namespace

// A page: a child dialog whose controls report to the tabbed form.
class TTabbedForm::TPage final : public TDialog {
public:
    TPage(TTabbedForm& form, int templateId) : form_(form) { CreateFromTemplate(templateId, form.Handle()); }

protected:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_COMMAND: return form_.PageCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
            case WM_NOTIFY: return form_.PageNotify(*reinterpret_cast<const NMHDR*>(lParam)) ? TRUE : FALSE;
            default: return FALSE;
        }
    }

private:
    TTabbedForm& form_;
};

TTabbedForm::TTabbedForm(HWND owner, const std::string& caption, int clientWidth, int clientHeight,
                         const std::vector<PageTemplate>& pages) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_LINK_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CreateFromTemplate(IDD_TABBEDFORM, owner);
    SetWindowTextA(Handle(), caption.c_str());
    const HWND tabs = GetDlgItem(Handle(), IDC_PAGES);
    HWND after = tabs;
    for (const PageTemplate& page : pages) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(page.title);
        SendMessageA(tabs, TCM_INSERTITEMA, pages_.size(), reinterpret_cast<LPARAM>(&item));
        pages_.push_back(std::make_unique<TPage>(*this, page.templateId));
        // In the tab order right after the page control.
        SetWindowPos(pages_.back()->Handle(), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = pages_.back()->Handle();
    }
    Layout(Scaled(clientWidth), Scaled(clientHeight));
    ShowPage(0);
}

TTabbedForm::~TTabbedForm() = default;

void TTabbedForm::Layout(int clientWidth, int clientHeight) {
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(Handle(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(Handle(), GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(Handle(), nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

    const int margin = Scaled(kMargin);
    const int buttonWidth = Scaled(kButtonWidth);
    const int buttonHeight = Scaled(kButtonHeight);
    const int buttonTop = clientHeight - margin - buttonHeight;
    const int pagesHeight = buttonTop - margin - margin;
    const HWND tabs = GetDlgItem(Handle(), IDC_PAGES);
    MoveWindow(tabs, margin, margin, clientWidth - 2 * margin, pagesHeight, FALSE);
    int left = clientWidth - margin - 3 * buttonWidth - 2 * Scaled(kButtonGap);
    for (int id : {IDOK, IDCANCEL, IDC_APPLY}) {
        MoveWindow(GetDlgItem(Handle(), id), left, buttonTop, buttonWidth, buttonHeight, FALSE);
        left += buttonWidth + Scaled(kButtonGap);
    }
    RECT display{margin, margin, clientWidth - margin, margin + pagesHeight};
    SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    for (const auto& page : pages_) {
        MoveWindow(page->Handle(), display.left, display.top, display.right - display.left,
                   display.bottom - display.top, FALSE);
    }
}

void TTabbedForm::ShowPage(int index) {
    SendMessageA(GetDlgItem(Handle(), IDC_PAGES), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    for (size_t i = 0; i < pages_.size(); ++i) {
        ShowWindow(pages_[i]->Handle(), static_cast<int>(i) == index ? SW_SHOW : SW_HIDE);
    }
}

// Ctrl+Tab and Ctrl+Page Down turn to the next page, with Shift or Page Up
// to the one before, round at the ends, as in every Windows property sheet;
// the focus goes to the tabs, so that it is never left on a hidden page.
bool TTabbedForm::TurnedPage(WPARAM key) {
    if ((GetKeyState(VK_CONTROL) & 0x8000) == 0 || pages_.empty()) return false;
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    int step = 0;
    if (key == VK_TAB) step = shift ? -1 : 1;
    if (key == VK_NEXT) step = 1;
    if (key == VK_PRIOR) step = -1;
    if (step == 0) return false;
    const HWND tabs = GetDlgItem(Handle(), IDC_PAGES);
    const int count = static_cast<int>(pages_.size());
    const auto current = static_cast<int>(SendMessageA(tabs, TCM_GETCURSEL, 0, 0));
    ShowPage((current + step + count) % count);
    SetFocus(tabs);
    return true;
}

HWND TTabbedForm::Control(int id) const {
    for (const auto& page : pages_) {
        if (const HWND control = GetDlgItem(page->Handle(), id)) return control;
    }
    return nullptr;
}

void TTabbedForm::FormCreate() {
    LoadSettings();
    EnableWindow(GetDlgItem(Handle(), IDC_APPLY), FALSE);
}

void TTabbedForm::LoadSettings() { EnableWindow(GetDlgItem(Handle(), IDC_APPLY), FALSE); }

void TTabbedForm::SaveSettings() { EnableWindow(GetDlgItem(Handle(), IDC_APPLY), FALSE); }

bool TTabbedForm::PageCommand(int, int) { return false; }

bool TTabbedForm::PageNotify(const NMHDR&) { return false; }

bool TTabbedForm::FormMessage(UINT, WPARAM, LPARAM) { return false; }

void TTabbedForm::DataChanged() { EnableWindow(GetDlgItem(Handle(), IDC_APPLY), TRUE); }

void TTabbedForm::btn_OkClick(bool fromOk) {
    if (fromOk) {
        modalResult_ = IDOK;
    } else {
        EnableWindow(GetDlgItem(Handle(), IDC_APPLY), FALSE);
    }
    SaveSettings();
}

void TTabbedForm::btn_CancelClick() { modalResult_ = IDCANCEL; }

int TTabbedForm::ShowModal(HWND owner) {
    modalResult_ = 0;
    if (owner != nullptr) EnableWindow(owner, FALSE);
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    MSG message;
    while (modalResult_ == 0) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: its loop gets the quit again.
            if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
            modalResult_ = IDCANCEL;
            break;
        }
        if (message.message == WM_KEYDOWN && TurnedPage(message.wParam)) continue;
        if (IsDialogMessageA(Handle(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (owner != nullptr) EnableWindow(owner, TRUE);
    ShowWindow(Handle(), SW_HIDE);
    return modalResult_;
}

INT_PTR TTabbedForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: btn_OkClick(true); return TRUE;
                case IDC_APPLY: btn_OkClick(false); return TRUE;
                case IDCANCEL: btn_CancelClick(); return TRUE;
                default: return FALSE;
            }
        case WM_CLOSE:
            btn_CancelClick();
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_PAGES && header->code == TCN_SELCHANGE) {
                ShowPage(static_cast<int>(SendMessageA(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
                return TRUE;
            }
            return FALSE;
        }
        default: return FormMessage(message, wParam, lParam) ? TRUE : FALSE;
    }
}

}  // namespace norvale
