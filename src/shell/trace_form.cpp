#include "shell/trace_form.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "common/call_profile.h"
#include "common/errors.h"
#include "common/system_error.h"
#include "common/win32_resources.h"
#include "shell/trace_row_look.h"
#include "common/utf8_text.h"
#include "store/trace_copy_text.h"
#include "store/trace_file.h"

namespace norvale {

namespace {

// The poll's timer while rows keep coming, as often as what a take costs
// allows (`TTraceRowsWatch::NextLook`).
constexpr UINT_PTR kTakeTimer = 1;
// How long the window steps through new rows before it tells the list:
// telling it costs more than many steps.
constexpr std::chrono::milliseconds kStepping(8);
// Capture's counts change without rows when the window is off for entries.
constexpr UINT_PTR kStatusTimer = 2;
constexpr DWORD kStatusInterval = 1000;
// Rows copied out of the store at a time while saving, so that the store's
// lock is never held for long.
constexpr size_t kSaveChunk = 4096;

constexpr const wchar_t* kLabels[3] = {L"&Show", L"&Hide", L"Hi&ghlight"};
// The letter of each label's accelerator, with Alt.
constexpr WPARAM kLabelKeys[3] = {'S', 'H', 'G'};
// A box whose terms do not parse.
constexpr COLORREF kErrorBackground = RGB(255, 200, 200);
constexpr const wchar_t* kWentPastEnd = L"Went past the last row and on from the first";
constexpr const wchar_t* kWentPastStart = L"Went past the first row and on from the last";

TraceColumnLayout ScaledLayout(TraceColumnLayout layout) {
    for (TraceColumnWidth& column : layout) column.width = Scaled(column.width);
    return layout;
}

bool ShiftDown() { return GetKeyState(VK_SHIFT) < 0; }

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

TTraceForm::TTraceForm(HWND documentArea, TTraceDocument document, IShellPrompts& prompts, std::string settingsPath,
                       TTraceFormHooks hooks)
    : prompts_(prompts),
      hooks_(std::move(hooks)),
      first_(document.first),
      ownStore_(document.live != nullptr ? nullptr : std::make_unique<TTraceStore>(1)),
      store_(document.live != nullptr ? *document.live : *ownStore_),
      columns_(ScaledLayout(DefaultColumnLayout())),
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

void TTraceForm::CreateToolBar() {
    // Sized by `Layout` to its buttons, with the Find box beside them.
    toolBar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | CCS_NORESIZE | CCS_NOPARENTALIGN |
                                   CCS_NODIVIDER,
                               0, 0, 0, 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolBar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
    const auto button = [](int command, BYTE style, const wchar_t* caption) {
        return TBBUTTON{I_IMAGENONE, command, TBSTATE_ENABLED, static_cast<BYTE>(style | BTNS_AUTOSIZE), {}, 0,
                        reinterpret_cast<INT_PTR>(caption)};
    };
    TBBUTTON buttons[] = {button(btn_Pause, BTNS_CHECK, L"Pause"), button(btn_Clear, BTNS_BUTTON, L"Clear"),
                          button(btn_Open, BTNS_BUTTON, L"Open\u2026"),
                          button(btn_NewView, BTNS_BUTTON, L"New view")};
    SendMessageW(toolBar_, TB_ADDBUTTONSW, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
    // A saved trace is read-only.
    SendMessageW(toolBar_, TB_ENABLEBUTTON, btn_Clear, ownStore_ ? FALSE : TRUE);
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
    // The Find box, on the bar, comes after the filter boxes among the
    // window's children, which readers find by their order.
    findLabel_ = CreateWindowExW(0, L"STATIC", L"Find", WS_CHILD | WS_VISIBLE | SS_CENTERIMAGE | SS_RIGHT, 0, 0, 0,
                                 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    findBox_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", nullptr, WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                               0, 0, 0, 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(findLabel_, WM_SETFONT, font, FALSE);
    SendMessageW(findBox_, WM_SETFONT, font, FALSE);
}

void TTraceForm::CreateList() {
    // Rows live in the store; the list asks for the ones it shows.
    lv_Rows = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr,
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0,
                              0, 0, 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(lv_Rows, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    SendMessageW(lv_Rows, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (size_t i = 0; i < kTraceListColumns; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = i == kDeltaColumn ? LVCFMT_RIGHT : LVCFMT_LEFT;
        // The marks' header is their sign; the headers' menu names them.
        column.pszText = const_cast<wchar_t*>(i == kMarkColumn ? kMarkText.data() : kTraceListColumnNames[i].data());
        SendMessageW(lv_Rows, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    // The marks in front; the subitems keep their numbers, as readers know them.
    std::array<int, kTraceListColumns> order{};
    order[0] = static_cast<int>(kMarkColumn);
    for (size_t i = 0; i < kMarkColumn; ++i) order[i + 1] = static_cast<int>(i);
    SendMessageW(lv_Rows, LVM_SETCOLUMNORDERARRAY, order.size(), reinterpret_cast<LPARAM>(order.data()));
}

// A hidden column is one of no width, which the user cannot drag open.
void TTraceForm::ApplyColumns() {
    for (size_t i = 0; i < kTraceListColumns; ++i) {
        SendMessageW(lv_Rows, LVM_SETCOLUMNWIDTH, i, columns_[i].shown ? columns_[i].width : 0);
    }
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

void TTraceForm::Layout() {
    RECT client{};
    GetClientRect(Handle(), &client);
    SendMessageW(statusBar_, WM_SIZE, 0, 0);
    RECT status{};
    GetWindowRect(statusBar_, &status);
    SIZE bar{};
    SendMessageW(toolBar_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&bar));
    const int gap = Scaled(4);
    const int rowHeight = Scaled(21);
    const int barHeight = std::max<int>(bar.cy, rowHeight);
    MoveWindow(toolBar_, 0, 0, bar.cx, barHeight, TRUE);
    const int findLabelWidth = Scaled(32);
    const int findTop = (barHeight - rowHeight) / 2;
    MoveWindow(findLabel_, bar.cx + gap, findTop, findLabelWidth, rowHeight, TRUE);
    MoveWindow(findBox_, bar.cx + 2 * gap + findLabelWidth, findTop, Scaled(220), rowHeight, TRUE);
    int top = barHeight + gap / 2;
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
    if (fitMessage_) {
        RECT list{};
        GetClientRect(lv_Rows, &list);
        const auto message = static_cast<size_t>(TraceColumn::Message);
        columns_[message].width = MessageWidthToFill(columns_, list.right, Scaled(200));
        SendMessageW(lv_Rows, LVM_SETCOLUMNWIDTH, message, columns_[message].width);
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

// The store posts only to an idle window. Woken, the window takes the rows
// and then looks again every tick for as long as rows keep coming, so a flood
// costs the dispatch no posted message at all; a tick that finds none puts the
// window back to sleep.
void TTraceForm::WMTraceRows() {
    TakeRows();
    if (!polling_) LookAgain();
}

void TTraceForm::WMTimerTake() {
    if (watch_->Tick()) {
        TakeRows();
        LookAgain();
        return;
    }
    KillTimer(Handle(), kTakeTimer);
    polling_ = false;
}

// The list is painted within the take, so that what the take cost tells
// when to look again.
void TTraceForm::TakeRows() {
    const TStageTimer timer(CallStage::TraceTake);
    const auto start = std::chrono::steady_clock::now();
    watch_->Taking();
    if (!paused_ && !stepPosted_) Apply(shown_.StepWithin(store_, kStepping));
    UpdateStatus();
    UpdateWindow(lv_Rows);
    lastTake_ = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
}

// Set again after every take, so that the wait runs from the take's end.
void TTraceForm::LookAgain() {
    const auto interval = static_cast<UINT>(TTraceRowsWatch::NextLook(lastTake_).count());
    polling_ = SetTimer(Handle(), kTakeTimer, interval, nullptr) != 0;
}

void TTraceForm::Apply(const TShownChange& change) {
    marks_.Forget(change.first);
    const bool atEnd = LastRowVisible();
    if (stayPut_ && atEnd && SendMessageW(lv_Rows, LVM_GETTOPINDEX, 0, 0) != stayPutTop_) stayPut_ = false;
    // A list scrolled away from its end stays where the user left it.
    const bool follow = !stayPut_ && atEnd;
    const auto count = static_cast<WPARAM>(shown_.Count());
    const bool everyRowMoved = change.replaced || change.forgotten > 0;
    // A new count costs the list the redraw of its scroll bars; a full store
    // keeps its count while rows move through it.
    if (count != static_cast<WPARAM>(SendMessageW(lv_Rows, LVM_GETITEMCOUNT, 0, 0))) {
        SendMessageW(lv_Rows, LVM_SETITEMCOUNT, count, everyRowMoved ? 0 : LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    }
    if (everyRowMoved) InvalidateRect(lv_Rows, nullptr, FALSE);
    if (follow && count > 0) SendMessageW(lv_Rows, LVM_ENSUREVISIBLE, count - 1, FALSE);
    if (change.more && !stepPosted_) stepPosted_ = PostMessageW(Handle(), WM_TRACE_STEP, 0, 0) != FALSE;
}

void TTraceForm::UpdateStatus() {
    const auto texts =
        TraceStatusTexts(shown_.Counts(store_), ownStore_ ? ProcessStatus{} : hooks_.ReadProcessStatus(), Note());
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

// Why a box is red, where find went, and how far a saved trace is read.
std::wstring TTraceForm::Note() const {
    std::wstring note;
    const auto add = [&note](const std::wstring& more) {
        if (more.empty()) return;
        if (!note.empty()) note += L"  ";
        note += more;
    };
    constexpr const wchar_t* kBoxes[3] = {L"Show: ", L"Hide: ", L"Highlight: "};
    for (size_t box = 0; box < 3; ++box) {
        if (const auto& error = shown_.Filter().Error(box)) add(kBoxes[box] + Utf8ToWide(*error));
    }
    if (findError_) add(L"Find: " + Utf8ToWide(*findError_));
    add(stepNote_);
    if (!load_) return note;
    const TraceLoadProgress read = load_->Progress();
    if (!read.finished) {
        add(L"Reading: " + std::to_wstring(read.bytesTotal == 0 ? 0 : read.bytesRead * 100 / read.bytesTotal) + L" %");
    } else if (!read.failure.empty()) {
        add(L"Reading stopped: " + Utf8ToWide(read.failure));
    } else {
        add(L"Read " + std::to_wstring(read.rows) + L" lines" +
            (read.unparsed == 0 ? L"" : L", " + std::to_wstring(read.unparsed) + L" kept whole as they did not parse"));
    }
    return note;
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
    for (const HWND box : filters_) InvalidateRect(box, nullptr, TRUE);
    if (!paused_ && !stepPosted_) stepPosted_ = PostMessageW(Handle(), WM_TRACE_STEP, 0, 0) != FALSE;
    UpdateStatus();
}

// The terms are parsed here, once per change, never per row.
void TTraceForm::ed_FindChange() {
    findError_.reset();
    try {
        findTerms_ = TTraceTerms(TextOf(findBox_));
    } catch (const ETraceTermError& error) {
        findTerms_ = {};
        findError_ = error.what();
    }
    find_.reset();
    stepNote_.clear();
    InvalidateRect(findBox_, nullptr, TRUE);
    UpdateStatus();
}

LRESULT TTraceForm::BoxColour(HWND box, HDC dc) {
    const auto filter = std::find(std::begin(filters_), std::end(filters_), box);
    const bool failed = box == findBox_ ? findError_.has_value()
                        : filter != std::end(filters_)
                            ? shown_.Filter().Error(static_cast<size_t>(filter - std::begin(filters_))).has_value()
                            : false;
    if (!failed) {
        return DefMDIChildProcW(Handle(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(box));
    }
    SetBkColor(dc, kErrorBackground);
    return reinterpret_cast<LRESULT>(errorBrush_.get());
}

// From the selected row (or the list's edge), a slice at a time.
void TTraceForm::ac_FindExecute(TraceFindWay way) {
    if (findError_ || findTerms_.Empty()) {
        SetFocus(findBox_);
        return;
    }
    findWay_ = way;
    find_.emplace(findTerms_, way, shown_, SelectedIndex());
    FindSlice();
}

void TTraceForm::FindSlice() {
    if (!find_) return;
    if (!find_->Step(shown_, store_)) {
        PostMessageW(Handle(), WM_TRACE_FIND, 0, 0);
        return;
    }
    const auto found = find_->Found();
    find_.reset();
    stepNote_ = !found           ? L"Find: no shown row matches"
                : found->wrapped ? (findWay_ == TraceFindWay::Next ? kWentPastEnd : kWentPastStart)
                                 : L"";
    if (found) SelectRow(found->index);
    UpdateStatus();
}

void TTraceForm::ac_ToggleMarkExecute() {
    marks_.Toggle(SelectedRows());
    InvalidateRect(lv_Rows, nullptr, FALSE);
}

void TTraceForm::StepToMark(bool next) {
    const auto to = next ? marks_.Next(shown_, SelectedIndex()) : marks_.Previous(shown_, SelectedIndex());
    stepNote_ = !to ? L"No shown row has a mark" : to->wrapped ? (next ? kWentPastEnd : kWentPastStart) : L"";
    if (to) SelectRow(to->index);
    UpdateStatus();
}

void TTraceForm::SelectRow(size_t index) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(lv_Rows, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(lv_Rows, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&state));
    SendMessageW(lv_Rows, LVM_ENSUREVISIBLE, index, FALSE);
}

std::optional<size_t> TTraceForm::SelectedIndex() const {
    const auto index = SendMessageW(lv_Rows, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (index < 0 || static_cast<size_t>(index) >= shown_.Count()) return std::nullopt;
    return static_cast<size_t>(index);
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

// Switches a column on or off; one switched off keeps its width for later.
void TTraceForm::ShowColumn(size_t column) {
    TraceColumnWidth& switched = columns_[column];
    if (switched.shown) switched.width = static_cast<int>(SendMessageW(lv_Rows, LVM_GETCOLUMNWIDTH, column, 0));
    switched.shown = !switched.shown;
    ApplyColumns();
    Layout();
}

bool TTraceForm::PreTranslateMessage(const MSG& message) {
    if (message.hwnd != Handle() && !IsChild(Handle(), message.hwnd)) return false;
    if (message.message == WM_SYSKEYDOWN) {
        const auto key = std::find(std::begin(kLabelKeys), std::end(kLabelKeys), message.wParam);
        if (key == std::end(kLabelKeys)) return false;
        SetFocus(filters_[key - std::begin(kLabelKeys)]);
        return true;
    }
    if (message.message != WM_KEYDOWN) return false;
    const WPARAM key = message.wParam;
    int command = 0;
    if (GetKeyState(VK_CONTROL) < 0) {
        if (key == 'F') {
            SetFocus(findBox_);
            SendMessageW(findBox_, EM_SETSEL, 0, -1);
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

// The list asks cell by cell and paints row by row; one look into the store
// serves a whole row. A row number never names other texts, so what was read
// stays right.
const TTraceForm::TCachedRow& TTraceForm::CachedRow(size_t index) {
    const uint64_t row = shown_.At(index).row;
    const uint64_t previous = index > 0 ? shown_.At(index - 1).row : UINT64_MAX;
    if (cached_.row == row && cached_.previous == previous) return cached_;
    cached_.row = row;
    cached_.previous = previous;
    for (auto& cell : cached_.cells) cell.clear();
    cached_.style = TraceRowStyle::Plain;
    store_.Read([&](const TTraceRows& kept) {
        const auto isKept = [&kept](uint64_t number) { return number >= kept.First() && number < kept.End(); };
        // A paused list may still name rows that left the store.
        if (!isKept(row)) return;
        const TraceRowFields fields = kept.Fields(row);
        for (size_t column = 0; column < kTraceColumnCount; ++column) {
            AppendColumnText(cached_.cells[column], fields, static_cast<TraceColumn>(column));
        }
        const std::optional<TraceRowFields> before =
            isKept(previous) ? std::optional(kept.Fields(previous)) : std::nullopt;
        AppendDeltaText(cached_.cells[kDeltaColumn], before ? &*before : nullptr, fields);
        cached_.style = kept.Style(row);
    });
    return cached_;
}

void TTraceForm::GetDispInfo(NMLVDISPINFOW& info) {
    const auto index = static_cast<size_t>(info.item.iItem);
    const auto column = static_cast<size_t>(info.item.iSubItem);
    if ((info.item.mask & LVIF_TEXT) == 0 || info.item.pszText == nullptr || info.item.cchTextMax <= 0) return;
    std::wstring_view cell;
    if (index < shown_.Count() && column == kMarkColumn) {
        if (marks_.Has(shown_.At(index).row)) cell = kMarkText;
    } else if (index < shown_.Count() && column <= kDeltaColumn) {
        cell = CachedRow(index).cells[column];
    }
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
        case WM_TRACE_READ:
            TakeRows();
            return 0;
        case WM_TRACE_FIND:
            FindSlice();
            return 0;
        case WM_CONTEXTMENU:
            FormContextMenu(reinterpret_cast<HWND>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        case WM_CTLCOLOREDIT: return BoxColour(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam));
        case WM_TRACE_STEP:
            stepPosted_ = false;
            if (!paused_) Apply(shown_.StepWithin(store_, kStepping));
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
