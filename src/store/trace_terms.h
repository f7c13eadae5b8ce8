#pragma once

// The terms of the trace window's boxes (Show, Hide, Highlight, Find), parsed
// once per change of a box into plain values and matched against rows.
//
// A box holds terms separated by ";" (surrounding spaces trimmed, empty terms
// ignored). A term is
//   text            plain: any column contains it, ignoring case in any script
//   column:text     only that column contains it; the column by its shown
//                   name ("Time" ... "Message"), in any letter case. A prefix
//                   that is no column name ("C:\x", "14:03") leaves the term
//                   plain, colon and all.
//   /pattern/       a regular expression (`TTracePattern`) found in the
//                   message, or with a prefix (class:/^T(In|Out)/) in that
//                   column; a ";" between the slashes belongs to the pattern,
//                   "\/" is a slash in it. Matched on at most the first
//                   `kPatternReach` characters of a cell.

#include <array>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/trace_pattern.h"
#include "store/trace_row_text.h"

namespace norvale {

inline constexpr size_t kPatternReach = 65536;

struct TTraceTerm {
    // None: any column for a plain term, the message for a pattern.
    std::optional<TraceColumn> column;
    // Plain: the folded text. A pattern: empty.
    std::wstring text;
    // Shared by the copies of a filter.
    std::shared_ptr<const TTracePattern> pattern;
};

// Throws ETraceTermError, naming the term and why it does not parse.
std::vector<TTraceTerm> ParseTraceTerms(std::wstring_view box);

using TraceColumnStarts = std::array<size_t, kTraceColumnCount + 1>;

// Rows' columns, copied out of the store under its lock, so that the terms,
// which a pattern can make slow, match them after it. They are folded after
// the lock too (`Fold`), as folding costs more than copying.
class TTraceRowSlice {
public:
    void Clear();
    void Add(const TraceRowFields& row);
    void Fold();
    size_t Rows() const { return starts_.size(); }
    size_t Chars() const { return folded_.size(); }

private:
    friend class TTraceRowMatch;
    std::wstring folded_;
    std::vector<TraceColumnStarts> starts_;
};

// A bound on the work of matching one slice: a pattern counts about a step
// for each live thread at each character (`TTracePattern::Search`), a plain
// term a step for each character it looks through.
struct TMatchSteps {
    size_t spent = 0;
    size_t limit = SIZE_MAX;
    bool Out() const { return spent >= limit; }
};

class TTraceTerms;

// One row's columns, folded, as the terms look at them: filled from a row,
// or a row of a slice. Reused for every row, so that matching allocates
// nothing once its buffers are big enough. A match out of steps keeps its
// place here (the term and where its pattern got to), and the next match
// with the same terms goes on from there; filling another row drops it.
class TTraceRowMatch {
public:
    void Fill(const TraceRowFields& row);
    void Use(const TTraceRowSlice& slice, size_t row);
    TPatternFound Matches(const TTraceTerm& term, TMatchSteps& steps);
    // The terms a match out of steps paused in, if any.
    const TTraceTerms* PausedIn() const { return pausedIn_; }

private:
    friend class TTraceTerms;
    void Forget();

    // The columns joined by NULs, which no term can hold (a window's text
    // ends at its first NUL), so that no plain term matches across two.
    std::wstring folded_;
    // `folded_`, or a slice's text; `starts_` index it.
    std::wstring_view text_;
    TraceColumnStarts starts_{};
    TPatternRun run_;
    const TTraceTerms* pausedIn_ = nullptr;
    size_t pausedTerm_ = 0;
};

// The parsed terms of one box.
class TTraceTerms {
public:
    TTraceTerms() = default;
    // Throws ETraceTermError.
    explicit TTraceTerms(std::wstring_view box) : terms_(ParseTraceTerms(box)) {}

    bool Empty() const { return terms_.empty(); }
    // Whether any term matches the filled row.
    bool MatchAny(TTraceRowMatch& row) const;
    // The same within `steps`: OutOfSteps keeps the place in `row` (a term
    // runs on past the limit by at most a character's work), so that each
    // call goes on by a term or a character at least.
    TPatternFound MatchAny(TTraceRowMatch& row, TMatchSteps& steps) const;

private:
    std::vector<TTraceTerm> terms_;
};

}  // namespace norvale
