// What the user types into the trace window's boxes and where it leads: the
// filter boxes' terms, find from the selected row a slice at a time, and the
// marks to step between.

#include "shell/trace_form.h"

#include "common/time_slice.h"
#include "common/utf8_text.h"

namespace norvale {

namespace {

constexpr const wchar_t* kWentPastEnd = L"Went past the last row and on from the first";
constexpr const wchar_t* kWentPastStart = L"Went past the first row and on from the last";

std::wstring TextOf(HWND control) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

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
    if (!StepsWithin(TShownRows::kSliceTime, [this] { return find_->Step(shown_, store_); })) {
        PostMessageW(Handle(), WM_TRACE_FIND, 0, 0);
        UpdateStatus();
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

}  // namespace norvale
