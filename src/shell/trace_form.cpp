#include "shell/trace_form.h"

#include <commctrl.h>

#include <algorithm>

#include "common/errors.h"
#include "common/system_error.h"
#include "common/win32_resources.h"
#include "shell/trace_row_look.h"
#include "common/utf8_text.h"
#include "store/trace_copy_text.h"

namespace norvale {

namespace {

// At most this many takes a second while rows keep coming: a flood must not
// cost the window more than its painting.
constexpr DWORD kTakeInterval = 1000 / 60;
constexpr UINT_PTR kTakeTimer = 1;
// Capture's counts change without rows when the window is off for entries.
constexpr UINT_PTR kStatusTimer = 2;
constexpr DWORD kStatusInterval = 1000;
// Rows copied out of the store at a time while saving, so that the store's
// lock is never held for long.
constexpr size_t kSaveChunk = 4096;

constexpr const wchar_t* kLabels[3] = {L"&Show", L"&Hide", L"Hi&ghlight"};
// The letter of each label's accelerator, with Alt.
constexpr WPARAM kLabelKeys[3] = {'S', 'H', 'G'};
constexpr int kDefaultWidths[kTraceColumnCount] = {90, 90, 70, 90, 90, 90, 70, 70, 400};

std::wstring TextOf(HWND control) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
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

TTraceForm::TTraceForm(HWND documentArea, TTraceStore& store, IShellPrompts& prompts, std::string settingsPath,
                       std::function<ProcessStatus()> processStatus)
    : store_(store), prompts_(prompts), settings_(std::move(settingsPath)), processStatus_(std::move(processStatus)) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    // Until the user places it, it fills the frame's document area.
    RECT area{};
    GetClientRect(documentArea, &area);
    CreateUnicode(L"TTraceForm", WS_EX_MDICHILD, L"Trace",
                  WS_CHILD | WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, area.right, area.bottom,
                  documentArea, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    FormCreate();
    const HWND window = Handle();
    store_.SetWakeUp([window] { PostMessageW(window, WM_TRACE_ROWS, 0, 0); });
    // Rows may have come before the window could be woken.
    WMTraceRows();
}

TTraceForm::~TTraceForm() {
    store_.SetWakeUp([] {});
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

void TTraceForm::CreateToolBar() {
    toolBar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | CCS_TOP | CCS_NODIVIDER, 0, 0,
                               0, 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolBar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
    TBBUTTON buttons[2]{};
    buttons[0] = {I_IMAGENONE, btn_Pause, TBSTATE_ENABLED, BTNS_CHECK | BTNS_AUTOSIZE, {}, 0,
                  reinterpret_cast<INT_PTR>(L"Pause")};
    buttons[1] = {I_IMAGENONE, btn_Clear, TBSTATE_ENABLED, BTNS_BUTTON | BTNS_AUTOSIZE, {}, 0,
                  reinterpret_cast<INT_PTR>(L"Clear")};
    SendMessageW(toolBar_, TB_ADDBUTTONSW, 2, reinterpret_cast<LPARAM>(buttons));
    SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
}

void TTraceForm::CreateFilterBar() {
    const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    for (int i = 0; i < 3; ++i) {
        labels_[i] = CreateWindowExW(0, L"STATIC", kLabels[i], WS_CHILD | WS_VISIBLE | SS_CENTERIMAGE, 0, 0, 0, 0,
                                     Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
        filters_[i] = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", nullptr,
                                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0, 0, Handle(),
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(labels_[i], WM_SETFONT, font, FALSE);
        SendMessageW(filters_[i], WM_SETFONT, font, FALSE);
    }
}

void TTraceForm::CreateList() {
    // Rows live in the store; the list asks for the ones it shows.
    lv_Rows = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr,
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0,
                              0, 0, 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(lv_Rows, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    SendMessageW(lv_Rows, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (size_t i = 0; i < kTraceColumnCount; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = Scaled(kDefaultWidths[i]);
        column.pszText = const_cast<wchar_t*>(kTraceColumnNames[i].data());
        SendMessageW(lv_Rows, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

void TTraceForm::RestoreSettings() {
    std::array<int, kTraceColumnCount> defaults{};
    for (size_t i = 0; i < kTraceColumnCount; ++i) defaults[i] = Scaled(kDefaultWidths[i]);
    const auto widths = settings_.ColumnWidths(defaults);
    for (size_t i = 0; i < kTraceColumnCount; ++i) SendMessageW(lv_Rows, LVM_SETCOLUMNWIDTH, i, widths[i]);
    const TraceFilterTexts filters = settings_.Filters();
    // Setting the texts runs the filter once, as typing would.
    SetWindowTextW(filters_[0], filters.show.c_str());
    SetWindowTextW(filters_[1], filters.hide.c_str());
    SetWindowTextW(filters_[2], filters.highlight.c_str());
    settings_.RestorePlacement(Handle());
}

void TTraceForm::SaveSettings() {
    try {
        std::array<int, kTraceColumnCount> widths{};
        for (size_t i = 0; i < kTraceColumnCount; ++i) {
            widths[i] = static_cast<int>(SendMessageW(lv_Rows, LVM_GETCOLUMNWIDTH, i, 0));
        }
        settings_.SaveColumnWidths(widths);
        settings_.SaveFilters(shown_.Filter().Texts());
        settings_.SavePlacement(Handle());
    } catch (const std::exception&) {
        // The window goes either way; the next run starts from the defaults.
    }
}

void TTraceForm::Layout() {
    RECT client{};
    GetClientRect(Handle(), &client);
    SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
    SendMessageW(statusBar_, WM_SIZE, 0, 0);
    RECT bar{};
    GetWindowRect(toolBar_, &bar);
    RECT status{};
    GetWindowRect(statusBar_, &status);
    const int gap = Scaled(4);
    const int rowHeight = Scaled(21);
    int top = bar.bottom - bar.top;
    // The three boxes share the width after their labels.
    const int labelWidth = Scaled(52);
    const int boxWidth = std::max<int>((client.right - gap - 3 * (labelWidth + gap)) / 3, 0);
    int left = gap;
    for (int i = 0; i < 3; ++i) {
        MoveWindow(labels_[i], left, top, labelWidth, rowHeight, TRUE);
        left += labelWidth;
        MoveWindow(filters_[i], left, top, boxWidth, rowHeight, TRUE);
        left += boxWidth + gap;
    }
    top += rowHeight + gap;
    const int bottom = client.bottom - (status.bottom - status.top);
    MoveWindow(lv_Rows, 0, top, client.right, std::max<int>(bottom - top, 0), TRUE);
}

void TTraceForm::BringToFront() {
    ShowWindow(Handle(), SW_SHOW);
    SendMessageW(GetParent(Handle()), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(Handle()), 0);
}

void TTraceForm::FormClose() {
    // The rows keep coming while the window is away; the frame shows it again.
    SaveSettings();
    ShowWindow(Handle(), SW_HIDE);
    SendMessageW(GetParent(Handle()), WM_MDINEXT, 0, 0);
}

// The store posts only to an idle window. Woken, the window takes the rows
// and then looks again every tick for as long as rows keep coming, so a flood
// costs the dispatch no posted message at all; a tick that finds none puts the
// window back to sleep.
void TTraceForm::WMTraceRows() {
    TakeRows();
    if (!polling_) polling_ = SetTimer(Handle(), kTakeTimer, kTakeInterval, nullptr) != 0;
}

void TTraceForm::WMTimerTake() {
    if (watch_.Tick()) {
        TakeRows();
        return;
    }
    KillTimer(Handle(), kTakeTimer);
    polling_ = false;
}

void TTraceForm::TakeRows() {
    watch_.Taking();
    if (!paused_ && !stepPosted_) Apply(shown_.Step(store_));
    UpdateStatus();
}

void TTraceForm::Apply(const TShownChange& change) {
    const bool atEnd = LastRowVisible();
    if (stayPut_ && atEnd && SendMessageW(lv_Rows, LVM_GETTOPINDEX, 0, 0) != stayPutTop_) stayPut_ = false;
    // A list scrolled away from its end stays where the user left it.
    const bool follow = !stayPut_ && atEnd;
    const auto count = static_cast<WPARAM>(shown_.Count());
    const bool everyRowMoved = change.replaced || change.forgotten > 0;
    SendMessageW(lv_Rows, LVM_SETITEMCOUNT, count, everyRowMoved ? 0 : LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    if (everyRowMoved) InvalidateRect(lv_Rows, nullptr, FALSE);
    if (follow && count > 0) SendMessageW(lv_Rows, LVM_ENSUREVISIBLE, count - 1, FALSE);
    if (change.more && !stepPosted_) stepPosted_ = PostMessageW(Handle(), WM_TRACE_STEP, 0, 0) != FALSE;
}

void TTraceForm::UpdateStatus() {
    const auto texts = TraceStatusTexts(shown_.Counts(store_), processStatus_());
    std::vector<int> widths(texts.size());
    {
        const UniqueWindowDc dc(statusBar_);
        const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(statusBar_, WM_GETFONT, 0, 0));
        const HGDIOBJ before = SelectObject(dc.get(), font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
        for (size_t i = 0; i < texts.size(); ++i) {
            SIZE size{};
            GetTextExtentPoint32W(dc.get(), texts[i].c_str(), static_cast<int>(texts[i].size()), &size);
            widths[i] = size.cx;
        }
        SelectObject(dc.get(), before);
    }
    const auto ends = StatusPartEnds(widths, Scaled(110), Scaled(16));
    SendMessageW(statusBar_, SB_SETPARTS, ends.size(), reinterpret_cast<LPARAM>(ends.data()));
    for (size_t i = 0; i < texts.size(); ++i) {
        SendMessageW(statusBar_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(texts[i].c_str()));
    }
}

bool TTraceForm::LastRowVisible() const {
    const auto count = SendMessageW(lv_Rows, LVM_GETITEMCOUNT, 0, 0);
    const auto top = SendMessageW(lv_Rows, LVM_GETTOPINDEX, 0, 0);
    const auto perPage = SendMessageW(lv_Rows, LVM_GETCOUNTPERPAGE, 0, 0);
    return top + perPage >= count;
}

// A row the user picked keeps the list where it is until the user scrolls
// back to its end.
void TTraceForm::RowPicked() {
    stayPut_ = true;
    stayPutTop_ = SendMessageW(lv_Rows, LVM_GETTOPINDEX, 0, 0);
}

void TTraceForm::ed_FilterChange() {
    shown_.SetFilter(TTraceFilter(TraceFilterTexts{TextOf(filters_[0]), TextOf(filters_[1]), TextOf(filters_[2])}));
    if (!paused_ && !stepPosted_) stepPosted_ = PostMessageW(Handle(), WM_TRACE_STEP, 0, 0) != FALSE;
}

void TTraceForm::btn_PauseClick() {
    paused_ = SendMessageW(toolBar_, TB_ISBUTTONCHECKED, btn_Pause, 0) != 0;
    if (!paused_) TakeRows();
}

void TTraceForm::btn_ClearClick() {
    store_.Clear();
    Apply(shown_.Step(store_));
    UpdateStatus();
}

std::vector<uint64_t> TTraceForm::SelectedRows() const {
    std::vector<uint64_t> rows;
    int index = -1;
    while ((index = static_cast<int>(SendMessageW(lv_Rows, LVM_GETNEXTITEM, index, LVNI_SELECTED))) >= 0) {
        if (static_cast<size_t>(index) < shown_.Count()) rows.push_back(shown_.At(static_cast<size_t>(index)).row);
    }
    return rows;
}

std::vector<uint64_t> TTraceForm::ShownRows() const {
    std::vector<uint64_t> rows(shown_.Count());
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = shown_.At(i).row;
    return rows;
}

void TTraceForm::ac_CopyExecute() {
    const std::vector<uint64_t> rows = SelectedRows();
    if (rows.empty()) return;
    std::wstring text;
    store_.Read([&](const TTraceRows& kept) { AppendRowsText(text, kept, rows); });
    PutOnClipboard(Handle(), text);
}

void TTraceForm::ac_SaveExecute() {
    const auto path = prompts_.ChooseTraceFileToSave(Handle());
    if (!path) return;
    const std::vector<uint64_t> rows = ShownRows();
    const UniqueHandle file(
        CreateFileW(path->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD error = file ? 0 : GetLastError();
    std::wstring text;
    for (size_t start = 0; error == 0 && start < rows.size(); start += kSaveChunk) {
        text.clear();
        const std::span<const uint64_t> chunk(rows.data() + start, std::min(kSaveChunk, rows.size() - start));
        store_.Read([&](const TTraceRows& kept) { AppendRowsText(text, kept, chunk); });
        const std::string bytes = WideToUtf8(text);
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
            error = GetLastError();
        }
    }
    if (error != 0) throw EInOutError("cannot save the trace rows: " + SystemErrorText(error), error);
}

void TTraceForm::Execute(int command) {
    switch (command) {
        case btn_Pause: btn_PauseClick(); break;
        case btn_Clear: btn_ClearClick(); break;
        case ac_Copy: ac_CopyExecute(); break;
        case ac_Save: ac_SaveExecute(); break;
        default: break;
    }
}

bool TTraceForm::PreTranslateMessage(const MSG& message) {
    if (message.hwnd != Handle() && !IsChild(Handle(), message.hwnd)) return false;
    const bool control = GetKeyState(VK_CONTROL) < 0;
    if (message.message == WM_KEYDOWN && control) {
        // Ctrl+C in a filter box copies its text, as in any box.
        const int command = message.wParam == 'C' && message.hwnd == lv_Rows ? ac_Copy
                            : message.wParam == 'L'                          ? btn_Clear
                            : message.wParam == 'S'                          ? ac_Save
                                                                              : 0;
        if (command == 0) return false;
        Execute(command);
        return true;
    }
    if (message.message != WM_SYSKEYDOWN) return false;
    const auto key = std::find(std::begin(kLabelKeys), std::end(kLabelKeys), message.wParam);
    if (key == std::end(kLabelKeys)) return false;
    SetFocus(filters_[key - std::begin(kLabelKeys)]);
    return true;
}

// The list asks cell by cell and paints row by row; one look into the store
// serves a whole row. A row number never names other texts, so what was read
// stays right.
const TTraceForm::TCachedRow& TTraceForm::CachedRow(size_t index) {
    const uint64_t row = shown_.At(index).row;
    if (cached_.row == row) return cached_;
    cached_.row = row;
    for (auto& cell : cached_.cells) cell.clear();
    cached_.style = TraceRowStyle::Plain;
    store_.Read([&](const TTraceRows& kept) {
        // A paused list may still name rows that left the store.
        if (row < kept.First() || row >= kept.End()) return;
        for (size_t column = 0; column < kTraceColumnCount; ++column) {
            kept.AppendColumnText(row, static_cast<TraceColumn>(column), cached_.cells[column]);
        }
        cached_.style = kept.Style(row);
    });
    return cached_;
}

void TTraceForm::GetDispInfo(NMLVDISPINFOW& info) {
    const auto index = static_cast<size_t>(info.item.iItem);
    const auto column = static_cast<size_t>(info.item.iSubItem);
    if ((info.item.mask & LVIF_TEXT) == 0 || info.item.pszText == nullptr || info.item.cchTextMax <= 0) return;
    const std::wstring_view cell =
        index < shown_.Count() && column < kTraceColumnCount ? std::wstring_view(CachedRow(index).cells[column]) : L"";
    const size_t length = std::min(static_cast<size_t>(info.item.cchTextMax) - 1, cell.size());
    std::copy_n(cell.data(), length, info.item.pszText);
    info.item.pszText[length] = L'\0';
}

LRESULT TTraceForm::CustomDraw(NMLVCUSTOMDRAW& draw) {
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
    const auto index = static_cast<size_t>(draw.nmcd.dwItemSpec);
    if (index >= shown_.Count()) return CDRF_DODEFAULT;
    const TraceRowLook look = LookOf(CachedRow(index).style, shown_.At(index).highlighted != 0);
    draw.clrText = look.text;
    draw.clrTextBk = look.background;
    return CDRF_DODEFAULT;
}

LRESULT TTraceForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TRACE_ROWS:
            WMTraceRows();
            return 0;
        case WM_TRACE_STATUS:
            UpdateStatus();
            return 0;
        case WM_TRACE_STEP:
            stepPosted_ = false;
            if (!paused_) Apply(shown_.Step(store_));
            UpdateStatus();
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
            if (HIWORD(wParam) == EN_CHANGE && std::find(std::begin(filters_), std::end(filters_),
                                                         reinterpret_cast<HWND>(lParam)) != std::end(filters_)) {
                ed_FilterChange();
                return 0;
            }
            break;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
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
