// Rows from the store into the trace window: taken when the store wakes the
// window and then at the pace a take allows, stepped through a slice at a
// time, painted cell by cell as the list asks, and counted in the status bar.

#include "shell/trace_form.h"

#include <commctrl.h>

#include <algorithm>

#include "common/call_profile.h"
#include "common/utf8_text.h"
#include "common/win32_resources.h"
#include "shell/trace_row_look.h"

namespace norvale {

// The store posts only to an idle window. Woken, the window takes the rows
// and then looks again every tick for as long as rows keep coming, so a flood
// costs the dispatch no posted message at all; a tick that finds none puts the
// window back to sleep.
void TTraceForm::WMTraceRows() {
    TakeRows();
    if (!polling_) LookAgain();
}

void TTraceForm::WMTraceStep() {
    stepPosted_ = false;
    if (!paused_) Apply(shown_.StepWithin(store_, TShownRows::kSliceTime));
    UpdateStatus();
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
    if (!paused_ && !stepPosted_) Apply(shown_.StepWithin(store_, TShownRows::kSliceTime));
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
        FitMessage();
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
    const std::optional<unsigned> searched = find_ ? find_->Percent(shown_) : shown_.Searching();
    if (searched) add(L"searching\u2026 " + std::to_wstring(*searched) + L"%");
    if (copy_) add(L"copying\u2026 " + std::to_wstring(copy_->Percent()) + L"%");
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

}  // namespace norvale
