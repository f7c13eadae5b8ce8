#include "store/trace_terms.h"

#include <algorithm>

#include "common/case_fold.h"
#include "common/utf8_text.h"

namespace norvale {

namespace {

// Appended rather than joined by "+", which GCC 12 at -O3 warns of wrongly.
std::string Quoted(std::wstring_view text) {
    std::string quoted(1, '"');
    quoted += WideToUtf8(text);
    quoted += '"';
    return quoted;
}

size_t SkipSpaces(std::wstring_view box, size_t at) {
    while (at < box.size() && box[at] == L' ') ++at;
    return at;
}

// The column whose name, in any letter case, is followed by ":" at `at`.
std::optional<TraceColumn> ColumnPrefix(std::wstring_view box, size_t at, size_t& after) {
    for (size_t column = 0; column < kTraceColumnCount; ++column) {
        const std::wstring_view name = kTraceColumnNames[column];
        if (box.size() - at <= name.size() || box[at + name.size()] != L':') continue;
        std::wstring typed(box.substr(at, name.size()));
        std::wstring wanted(name);
        FoldCase(typed);
        FoldCase(wanted);
        if (typed != wanted) continue;
        after = at + name.size() + 1;
        return static_cast<TraceColumn>(column);
    }
    return std::nullopt;
}

// The closing slash of a pattern opened at `open`, past escaped characters.
size_t ClosingSlash(std::wstring_view box, size_t open) {
    for (size_t at = open + 1; at < box.size(); ++at) {
        if (box[at] == L'\\') {
            ++at;
        } else if (box[at] == L'/') {
            return at;
        }
    }
    return std::wstring_view::npos;
}

}  // namespace

std::vector<TTraceTerm> ParseTraceTerms(std::wstring_view box) {
    std::vector<TTraceTerm> terms;
    size_t at = 0;
    while (at < box.size()) {
        const size_t start = SkipSpaces(box, at);
        if (start == box.size()) break;
        size_t prefixEnd = start;
        TTraceTerm term;
        term.column = ColumnPrefix(box, start, prefixEnd);
        const size_t body = term.column ? SkipSpaces(box, prefixEnd) : start;
        if (body < box.size() && box[body] == L'/') {
            const size_t close = ClosingSlash(box, body);
            if (close == std::wstring_view::npos) {
                throw ETraceTermError(Quoted(box.substr(start)) + ": the pattern has no closing \"/\"");
            }
            const size_t end = SkipSpaces(box, close + 1);
            const std::wstring_view written = box.substr(start, close + 1 - start);
            if (end < box.size() && box[end] != L';') {
                throw ETraceTermError(Quoted(written) + " is followed by " + Quoted(box.substr(end, 1)) +
                                      ": terms are separated by \";\"");
            }
            try {
                term.pattern = std::make_shared<const TTracePattern>(box.substr(body + 1, close - body - 1));
            } catch (const ETraceTermError& error) {
                throw ETraceTermError(Quoted(written) + ": " + error.what());
            }
            terms.push_back(std::move(term));
            at = end + 1;
            continue;
        }
        const size_t end = std::min(box.find(L';', start), box.size());
        std::wstring_view text = box.substr(body, end - body);
        text = text.substr(0, text.find_last_not_of(L' ') + 1);
        at = end + 1;
        if (text.empty()) {
            if (!term.column) continue;
            throw ETraceTermError(Quoted(box.substr(start, prefixEnd - start)) + " names a column but no text to find");
        }
        term.text = text;
        FoldCase(term.text);
        terms.push_back(std::move(term));
    }
    return terms;
}

namespace {

// The row's columns after what `folded` holds, each ended by a NUL.
void AppendColumns(const TraceRowFields& row, std::wstring& folded, TraceColumnStarts& starts) {
    for (size_t column = 0; column < kTraceColumnCount; ++column) {
        starts[column] = folded.size();
        AppendColumnText(folded, row, static_cast<TraceColumn>(column));
        folded += L'\0';
    }
    starts[kTraceColumnCount] = folded.size();
}

}  // namespace

void TTraceRowSlice::Clear() {
    folded_.clear();
    starts_.clear();
}

void TTraceRowSlice::Add(const TraceRowFields& row) { AppendColumns(row, folded_, starts_.emplace_back()); }

void TTraceRowSlice::Fold() { FoldCase(folded_); }

void TTraceRowMatch::Fill(const TraceRowFields& row) {
    folded_.clear();
    AppendColumns(row, folded_, starts_);
    FoldCase(folded_);
    text_ = folded_;
    Forget();
}

void TTraceRowMatch::Use(const TTraceRowSlice& slice, size_t row) {
    text_ = slice.folded_;
    starts_ = slice.starts_[row];
    Forget();
}

// Also the pattern's place: a pattern made after this one's end may get its
// address.
void TTraceRowMatch::Forget() {
    pausedIn_ = nullptr;
    run_.pausedBy = nullptr;
}

TPatternFound TTraceRowMatch::Matches(const TTraceTerm& term, TMatchSteps& steps) {
    const auto cell = [this](TraceColumn column) {
        const auto index = static_cast<size_t>(column);
        return text_.substr(starts_[index], starts_[index + 1] - starts_[index] - 1);
    };
    if (term.pattern) {
        return term.pattern->Search(cell(term.column.value_or(TraceColumn::Message)).substr(0, kPatternReach), run_,
                                    steps.spent, steps.limit);
    }
    const std::wstring_view within =
        term.column ? cell(*term.column) : text_.substr(starts_[0], starts_[kTraceColumnCount] - starts_[0]);
    const size_t at = within.find(term.text);
    steps.spent += at == std::wstring_view::npos ? within.size() : at + term.text.size();
    return at != std::wstring_view::npos ? TPatternFound::Yes : TPatternFound::No;
}

bool TTraceTerms::MatchAny(TTraceRowMatch& row) const {
    TMatchSteps unbounded;
    return MatchAny(row, unbounded) == TPatternFound::Yes;
}

TPatternFound TTraceTerms::MatchAny(TTraceRowMatch& row, TMatchSteps& steps) const {
    size_t term = row.pausedIn_ == this ? row.pausedTerm_ : 0;
    row.pausedIn_ = nullptr;
    for (; term < terms_.size(); ++term) {
        const TPatternFound found = row.Matches(terms_[term], steps);
        if (found == TPatternFound::Yes) return found;
        const bool pausedWithin = found == TPatternFound::OutOfSteps;
        if (pausedWithin || (steps.Out() && term + 1 < terms_.size())) {
            row.pausedIn_ = this;
            row.pausedTerm_ = pausedWithin ? term : term + 1;
            return TPatternFound::OutOfSteps;
        }
    }
    return TPatternFound::No;
}

}  // namespace norvale
