// The trace window's commands and the ways to them: the bar's buttons, the
// keys the frame's loop hands over first, the rows' and the headers' menus,
// and copying and saving the rows.

#include "shell/trace_form.h"

#include <commctrl.h>

#include <algorithm>
#include <span>

#include "common/errors.h"
#include "common/system_error.h"
#include "common/time_slice.h"
#include "common/utf8_text.h"
#include "common/win32_resources.h"
#include "store/trace_copy_text.h"
#include "store/trace_file.h"

namespace norvale {

namespace {

// Rows copied out of the store at a time while saving, so that the store's
// lock is never held for long.
constexpr size_t kSaveChunk = 4096;

bool ShiftDown() { return GetKeyState(VK_SHIFT) < 0; }

// A character as the loop's ANSI or wide message carries it, with Shift or
// without.
WPARAM UpperCaseLetter(WPARAM character) {
    return character >= 'a' && character <= 'z' ? character - 'a' + 'A' : character;
}

void PutOnClipboard(HWND owner, const std::wstring& text) {
    // Made before the clipboard is touched, so that a failure leaves the
    // user's clipboard as it was.
    UniqueGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t)));
    if (!memory) throw ENorvaleError("not enough memory to copy the rows");
    std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(GlobalLock(memory.get())));
    GlobalUnlock(memory.get());
    if (!OpenClipboard(owner)) throw ENorvaleError("the clipboard is in use by another program");
    EmptyClipboard();
    // The clipboard owns the memory once it took it.
    if (SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr) memory.release();
    CloseClipboard();
}

}  // namespace

void TTraceForm::Execute(int command) {
    switch (command) {
        case btn_Pause: btn_PauseClick(); break;
        case btn_Clear: btn_ClearClick(); break;
        case ac_Copy: ac_CopyExecute(); break;
        case ac_Save: ac_SaveExecute(); break;
        case btn_Open: hooks_.Open(); break;
        case btn_NewView: hooks_.NewView(); break;
        case ac_FindNext: ac_FindExecute(TraceFindWay::Next); break;
        case ac_FindPrevious: ac_FindExecute(TraceFindWay::Previous); break;
        case ac_ToggleMark: ac_ToggleMarkExecute(); break;
        case ac_NextMark: StepToMark(true); break;
        case ac_PreviousMark: StepToMark(false); break;
        default:
            if (command >= ac_ShowColumn && command < ac_ShowColumn + static_cast<int>(kTraceListColumns)) {
                ShowColumn(static_cast<size_t>(command - ac_ShowColumn));
            }
            break;
    }
}

bool TTraceForm::PreTranslateMessage(const MSG& message) {
    if (message.hwnd != Handle() && !IsChild(Handle(), message.hwnd)) return false;
    // A label's letter is taken as the character it makes, never as its
    // WM_SYSKEYDOWN: the frame must see a key go down under Alt, or releasing
    // Alt before the letter puts its menu bar into menu mode, which then takes
    // what the user types next.
    if (message.message == WM_SYSCHAR) {
        const auto key = std::find(std::begin(kLabelKeys), std::end(kLabelKeys), UpperCaseLetter(message.wParam));
        if (key == std::end(kLabelKeys)) return false;
        FocusBox(filters_[key - std::begin(kLabelKeys)]);
        return true;
    }
    if (message.message != WM_KEYDOWN) return false;
    const WPARAM key = message.wParam;
    if (key == VK_ESCAPE && IsBox(message.hwnd)) {
        SetFocus(lv_Rows);
        return true;
    }
    int command = 0;
    if (GetKeyState(VK_CONTROL) < 0) {
        if (key == 'F') {
            FocusBox(findBox_);
            return true;
        }
        // Ctrl+C in a box copies its text, as in any box.
        command = key == 'C' && message.hwnd == lv_Rows ? ac_Copy
                  : key == 'L'                          ? btn_Clear
                  : key == 'S'                          ? ac_Save
                  : key == VK_F2                        ? ac_ToggleMark
                                                        : 0;
    } else if (key == VK_F3 || (key == VK_RETURN && message.hwnd == findBox_)) {
        command = ShiftDown() ? ac_FindPrevious : ac_FindNext;
    } else if (key == VK_F2) {
        command = ShiftDown() ? ac_PreviousMark : ac_NextMark;
    }
    if (command == 0) return false;
    Execute(command);
    return true;
}

// As a dialog's box takes the focus from its label's letter: with all of its
// text selected, so that typing replaces it.
void TTraceForm::FocusBox(HWND box) {
    SetFocus(box);
    SendMessageW(box, EM_SETSEL, 0, -1);
}

bool TTraceForm::IsBox(HWND window) const {
    return window == findBox_ || std::find(std::begin(filters_), std::end(filters_), window) != std::end(filters_);
}

void TTraceForm::FormContextMenu(HWND clicked, POINT at) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(lv_Rows, LVM_GETHEADER, 0, 0));
    RECT headerPlace{};
    GetWindowRect(header, &headerPlace);
    // From the keyboard the point is (-1, -1): the rows' menu, at the list.
    if (at.x == -1 && at.y == -1) {
        RECT list{};
        GetWindowRect(lv_Rows, &list);
        RowsMenu(POINT{list.left, list.top});
    } else if (clicked == header || PtInRect(&headerPlace, at)) {
        HeaderMenu(at);
    } else {
        RowsMenu(at);
    }
}

void TTraceForm::HeaderMenu(POINT at) {
    const UniqueMenu menu(CreatePopupMenu());
    for (size_t i = 0; i < kTraceListColumns; ++i) {
        AppendMenuW(menu.get(), MF_STRING | (columns_[i].shown ? MF_CHECKED : MF_UNCHECKED), ac_ShowColumn + i,
                    std::wstring(kTraceListColumnNames[i]).c_str());
    }
    Execute(static_cast<int>(prompts_.TrackContextMenu(Handle(), menu.get(), at)));
}

void TTraceForm::RowsMenu(POINT at) {
    const UniqueMenu menu(CreatePopupMenu());
    const bool anySelected = SelectedIndex().has_value();
    const auto add = [&menu](int command, const wchar_t* caption, bool enabled) {
        AppendMenuW(menu.get(), MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), command, caption);
    };
    add(ac_Copy, L"Copy\tCtrl+C", anySelected);
    add(ac_Save, L"Save\u2026\tCtrl+S", true);
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    add(ac_ToggleMark, L"Mark\tCtrl+F2", anySelected);
    add(ac_NextMark, L"Next mark\tF2", true);
    add(ac_PreviousMark, L"Previous mark\tShift+F2", true);
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    add(btn_Open, L"Open\u2026", true);
    add(btn_NewView, L"New view", true);
    Execute(static_cast<int>(prompts_.TrackContextMenu(Handle(), menu.get(), at)));
}

void TTraceForm::btn_PauseClick() {
    paused_ = SendMessageW(toolBar_, TB_ISBUTTONCHECKED, btn_Pause, 0) != 0;
    if (!paused_) TakeRows();
}

void TTraceForm::btn_ClearClick() {
    if (ownStore_) return;
    store_.Clear();
    Apply(shown_.Step(store_));
    UpdateStatus();
}

// Many selected rows are read over several slices; the clipboard gets them
// all at the end.
void TTraceForm::ac_CopyExecute() {
    std::vector<uint64_t> rows = SelectedRows();
    if (rows.empty()) return;
    copy_.emplace(std::move(rows));
    CopySlice();
}

void TTraceForm::CopySlice() {
    if (!copy_) return;
    if (!StepsWithin(TShownRows::kSliceTime, [this] { return copy_->Step(store_); })) {
        PostMessageW(Handle(), WM_TRACE_COPY, 0, 0);
        UpdateStatus();
        return;
    }
    const TTraceCopy copy = std::move(*copy_);
    copy_.reset();
    PutOnClipboard(Handle(), copy.Text());
    UpdateStatus();
}

void TTraceForm::ac_SaveExecute() {
    const auto path = prompts_.ChooseTraceFileToSave(Handle());
    if (!path) return;
    const std::vector<uint64_t> rows = ShownRows();
    const UniqueHandle file(
        CreateFileW(path->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD error = file ? 0 : GetLastError();
    std::wstring text;
    AppendSavedTraceHeader(text);
    // The header goes with the first chunk, also when there is no row.
    for (size_t start = 0; error == 0 && (start == 0 || start < rows.size()); start += kSaveChunk) {
        const std::span<const uint64_t> chunk(rows.data() + std::min(start, rows.size()),
                                              std::min(kSaveChunk, rows.size() - std::min(start, rows.size())));
        store_.Read([&](const TTraceRows& kept) { AppendSavedTraceRows(text, kept, chunk); });
        const std::string bytes = WideToUtf8(text);
        text.clear();
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
            error = GetLastError();
        }
    }
    if (error != 0) throw EInOutError("cannot save the trace rows: " + SystemErrorText(error), error);
}

}  // namespace norvale
