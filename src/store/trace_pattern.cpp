#include "store/trace_pattern.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "common/case_fold.h"
#include "common/utf8_text.h"

namespace norvale {

namespace {

// Bounds that keep a pattern typed into a box (or pasted there) from costing
// more than a box's worth: the parser recurses once per group, the length
// bounds the classes made, and the program's size is the work per character
// of every cell.
constexpr int kMaxDepth = 100;
constexpr int kMaxCount = 1000;
constexpr uint32_t kLastChar = sizeof(wchar_t) > 2 ? 0x10FFFF : 0xFFFF;
constexpr uint32_t kNoLimit = UINT32_MAX;

using Range = std::pair<uint32_t, uint32_t>;

[[noreturn]] void Fail(const std::string& reason) { throw ETraceTermError(reason); }

// Appended rather than joined by "+", which GCC 12 at -O3 warns of wrongly.
std::string Quoted(std::wstring_view text) {
    std::string quoted(1, '"');
    quoted += WideToUtf8(text);
    quoted += '"';
    return quoted;
}

// Sorted, overlaps and neighbours joined.
std::vector<Range> Merged(std::vector<Range> ranges) {
    std::sort(ranges.begin(), ranges.end());
    std::vector<Range> out;
    for (const Range& range : ranges) {
        if (!out.empty() && range.first <= out.back().second + 1) {
            out.back().second = std::max(out.back().second, range.second);
        } else {
            out.push_back(range);
        }
    }
    return out;
}

// The characters not in `ranges` (sorted, disjoint).
std::vector<Range> Complement(const std::vector<Range>& ranges) {
    std::vector<Range> out;
    uint32_t from = 0;
    for (const auto& [low, high] : ranges) {
        if (low > from) out.emplace_back(from, low - 1);
        from = high + 1;
    }
    if (from <= kLastChar) out.emplace_back(from, kLastChar);
    return out;
}

// The case folding as classes need it, made once per process: a class costs
// the characters in its ranges that fold to another, not a pass over every
// character.
struct TClassFolds {
    // (c, its fold) for each character that folds to another, by c.
    std::vector<Range> moved;
    // The moved characters that are yet another's fold, so folded text shows
    // them: in a class only when one of their sources is.
    std::vector<uint32_t> shown;
    // "\d" "\D" "\w" "\W" "\s" "\S" as folded text shows them: a capital's
    // negation is taken after folding, so that "\W" is "[^\w]" and the
    // Kelvin sign, folded to "k", is no more a non-word than "k".
    std::array<std::vector<Range>, 6> shorthands;
};

// The folds of every character in `ranges`: a class of the pattern holds the
// characters the folded text may show for it. Characters that fold to
// another stay in only where folded text never shows them, which changes
// nothing.
std::vector<Range> Folded(const std::vector<Range>& ranges, const TClassFolds& folds) {
    std::vector<Range> out;
    for (const auto& [low, high] : ranges) {
        auto moved = std::lower_bound(folds.moved.begin(), folds.moved.end(), Range{low, 0});
        for (; moved != folds.moved.end() && moved->first <= high; ++moved) {
            // Most folds land in their own range ("A-z", a whole script): adding them again only costs.
            const uint32_t fold = moved->second;
            const bool kept =
                fold >= low && fold <= high && !std::binary_search(folds.shown.begin(), folds.shown.end(), fold);
            if (!kept) out.emplace_back(fold, fold);
        }
        uint32_t from = low;
        auto shown = std::lower_bound(folds.shown.begin(), folds.shown.end(), low);
        for (; shown != folds.shown.end() && *shown <= high; ++shown) {
            if (*shown > from) out.emplace_back(from, *shown - 1);
            from = *shown + 1;
        }
        if (from <= high) out.emplace_back(from, high);
    }
    return Merged(std::move(out));
}

const TClassFolds& ClassFolds() {
    static const TClassFolds folds = [] {
        TClassFolds made;
        std::wstring units(0x10000, L'\0');
        for (uint32_t c = 0; c < units.size(); ++c) units[c] = static_cast<wchar_t>(c);
        FoldCase(units);
        std::vector<bool> image(units.size(), false);
        for (uint32_t c = 0; c < units.size(); ++c) {
            const auto fold = static_cast<uint32_t>(static_cast<uint16_t>(units[c]));
            image[fold] = true;
            if (fold != c) made.moved.emplace_back(c, fold);
        }
        for (const auto& [c, fold] : made.moved) {
            if (image[c]) made.shown.push_back(c);
        }
        const std::vector<Range> digits = {{'0', '9'}};
        const std::vector<Range> words = {{'0', '9'}, {'A', 'Z'}, {'_', '_'}, {'a', 'z'}};
        const std::vector<Range> blanks = {{'\t', '\r'}, {' ', ' '}};
        size_t at = 0;
        for (const auto* ranges : {&digits, &words, &blanks}) {
            made.shorthands[at] = Folded(*ranges, made);
            made.shorthands[at + 1] = Complement(made.shorthands[at]);
            at += 2;
        }
        return made;
    }();
    return folds;
}

uint32_t FoldChar(uint32_t c) {
    if (c > 0xFFFF) return c;
    std::wstring one(1, static_cast<wchar_t>(c));
    FoldCase(one);
    return static_cast<uint32_t>(one[0]);
}

}  // namespace

bool TTracePattern::CharClass::Contains(uint32_t c) const {
    const auto after = std::upper_bound(ranges.begin(), ranges.end(), Range{c, kNoLimit});
    const bool in = after != ranges.begin() && std::prev(after)->second >= c;
    return in != negated;
}

// Parses into a tree, then lays the tree out as the VM's program (Thompson's
// construction). Both recurse only as deep as the groups nest.
class TPatternCompiler {
public:
    TPatternCompiler(std::wstring_view source, TTracePattern& pattern) : source_(source), pattern_(pattern) {}

    void Compile() {
        if (source_.empty()) Fail("the pattern between the slashes is empty");
        if (source_.size() > kMaxPatternLength) {
            Fail("the pattern is longer than " + std::to_string(kMaxPatternLength) + " characters");
        }
        const uint32_t root = ParseAlternatives(0);
        if (at_ < source_.size()) Fail("\")\" without \"(\"");
        Count(nodes_[root].size + 1);
        pattern_.program_.reserve(nodes_[root].size + 1);
        Emit(root);
        Add({TTracePattern::Op::Match});
    }

private:
    enum class Kind : uint8_t { Empty, Char, Any, Class, Begin, End, Sequence, Choice, Repeat };
    struct Node {
        Kind kind;
        uint32_t value = 0;
        uint32_t min = 0;
        uint32_t max = 0;
        std::vector<uint32_t> children;
        // The instructions it lays out, its repetitions written out.
        size_t size = 0;
    };

    // Sizes are counted as the tree grows, so that no nesting of repetitions
    // is laid out (or walked) before it is known to fit.
    uint32_t Make(Kind kind, uint32_t value = 0, uint32_t min = 0, uint32_t max = 0,
                  std::vector<uint32_t> children = {}) {
        size_t size = 0;
        for (const uint32_t child : children) size += nodes_[child].size;
        switch (kind) {
            case Kind::Empty: break;
            case Kind::Sequence: break;
            case Kind::Choice: size += 2 * (children.size() - 1); break;
            case Kind::Repeat:
                // A repetition of what lays out nothing lays out nothing, however often.
                if (size == 0) break;
                size = min * size + (max == kNoLimit ? size + 2 : (max - min) * (size + 1));
                break;
            default: size = 1; break;
        }
        Count(size);
        nodes_.push_back(Node{kind, value, min, max, std::move(children), size});
        return static_cast<uint32_t>(nodes_.size() - 1);
    }
    static void Count(size_t size) {
        if (size > kMaxPatternProgram) {
            Fail("the pattern is too large: with its repetitions written out it has more than " +
                 std::to_string(kMaxPatternProgram) + " parts");
        }
    }
    bool AtEnd() const { return at_ >= source_.size(); }
    wchar_t Peek() const { return source_[at_]; }

    uint32_t ParseAlternatives(int depth) {
        if (depth > kMaxDepth) Fail("groups nest deeper than " + std::to_string(kMaxDepth));
        std::vector<uint32_t> choices{ParseSequence(depth)};
        while (!AtEnd() && Peek() == L'|') {
            ++at_;
            choices.push_back(ParseSequence(depth));
        }
        return choices.size() == 1 ? choices[0] : Make(Kind::Choice, 0, 0, 0, std::move(choices));
    }

    uint32_t ParseSequence(int depth) {
        std::vector<uint32_t> items;
        while (!AtEnd() && Peek() != L'|' && Peek() != L')') items.push_back(ParseRepeat(depth));
        if (items.empty()) return Make(Kind::Empty);
        return items.size() == 1 ? items[0] : Make(Kind::Sequence, 0, 0, 0, std::move(items));
    }

    uint32_t ParseRepeat(int depth) {
        const uint32_t atom = ParseAtom(depth);
        if (AtEnd()) return atom;
        uint32_t min = 0, max = kNoLimit;
        switch (Peek()) {
            case L'*': break;
            case L'+': min = 1; break;
            case L'?': max = 1; break;
            case L'{': ParseCount(min, max); break;
            default: return atom;
        }
        ++at_;
        if (!AtEnd() && (Peek() == L'*' || Peek() == L'+' || Peek() == L'?' || Peek() == L'{')) {
            Fail(Quoted(source_.substr(at_, 1)) + " repeats a repetition");
        }
        return Make(Kind::Repeat, 0, min, max, {atom});
    }

    // "{n}", "{n,}" or "{n,m}"; leaves `at_` on the closing brace.
    void ParseCount(uint32_t& min, uint32_t& max) {
        const auto number = [this](uint32_t& value) {
            const size_t start = ++at_;
            value = 0;
            while (!AtEnd() && Peek() >= L'0' && Peek() <= L'9' && value <= kMaxCount) {
                value = value * 10 + static_cast<uint32_t>(Peek() - L'0');
                ++at_;
            }
            return at_ > start;
        };
        bool good = number(min);
        max = min;
        if (good && !AtEnd() && Peek() == L',') {
            const size_t comma = at_;
            if (!number(max)) {
                max = kNoLimit;
                at_ = comma + 1;
            }
        }
        good = good && !AtEnd() && Peek() == L'}' && min <= kMaxCount && min <= max &&
               (max == kNoLimit || max <= kMaxCount);
        if (!good) Fail("a repetition in braces is {n}, {n,} or {n,m}, with n <= m <= " + std::to_string(kMaxCount));
    }

    uint32_t ParseAtom(int depth) {
        const wchar_t c = Peek();
        ++at_;
        switch (c) {
            case L'(': {
                if (!AtEnd() && Peek() == L'?') Fail("\"(?\" groups are not in the pattern language");
                const uint32_t inner = ParseAlternatives(depth + 1);
                if (AtEnd()) Fail("\"(\" without \")\"");
                ++at_;
                return inner;
            }
            case L'*':
            case L'+':
            case L'?': Fail(Quoted(std::wstring(1, c)) + " has nothing to repeat");
            case L'.': return Make(Kind::Any);
            case L'^': return Make(Kind::Begin);
            case L'$': return Make(Kind::End);
            case L'[': return ParseClass();
            case L'\\': {
                std::vector<Range> shorthand;
                const std::optional<uint32_t> literal = ParseEscape(shorthand);
                if (literal) return Make(Kind::Char, FoldChar(*literal));
                return MakeClass({}, std::move(shorthand), false);
            }
            default: return Make(Kind::Char, FoldChar(static_cast<uint32_t>(c)));
        }
    }

    // After a backslash: a literal character, or nothing for a shorthand
    // class, whose folded ranges are added to `folded`.
    std::optional<uint32_t> ParseEscape(std::vector<Range>& folded) {
        if (AtEnd()) Fail("\"\\\" at the end of the pattern");
        const wchar_t c = Peek();
        ++at_;
        constexpr std::wstring_view kShorthands = L"dDwWsS";
        if (const size_t which = kShorthands.find(c); which != std::wstring_view::npos) {
            const std::vector<Range>& more = ClassFolds().shorthands[which];
            folded.insert(folded.end(), more.begin(), more.end());
            return std::nullopt;
        }
        switch (c) {
            case L't': return '\t';
            case L'n': return '\n';
            case L'r': return '\r';
            default: break;
        }
        if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) {
            Fail(Quoted(std::wstring(L"\\") + c) + " is no escape of the pattern language");
        }
        return static_cast<uint32_t>(c);
    }

    uint32_t ParseClass() {
        bool negated = false;
        if (!AtEnd() && Peek() == L'^') {
            negated = true;
            ++at_;
        }
        std::vector<Range> ranges;
        std::vector<Range> folded;
        // A "]" first is a member.
        bool first = true;
        while (true) {
            if (AtEnd()) Fail("\"[\" without \"]\"");
            if (Peek() == L']' && !first) break;
            first = false;
            uint32_t low = Peek();
            ++at_;
            if (low == L'\\') {
                const std::optional<uint32_t> literal = ParseEscape(folded);
                if (!literal) continue;
                low = *literal;
            }
            uint32_t high = low;
            if (at_ + 1 < source_.size() && Peek() == L'-' && source_[at_ + 1] != L']') {
                at_ += 1;
                high = Peek();
                ++at_;
                if (high == L'\\') {
                    std::vector<Range> shorthand;
                    const std::optional<uint32_t> literal = ParseEscape(shorthand);
                    if (!literal) Fail("a range in brackets ends at a class");
                    high = *literal;
                }
                if (high < low) {
                    Fail("the range " +
                         Quoted(std::wstring{static_cast<wchar_t>(low), L'-', static_cast<wchar_t>(high)}) +
                         " runs backwards");
                }
            }
            ranges.emplace_back(low, high);
        }
        ++at_;
        return MakeClass(ranges, std::move(folded), negated);
    }

    // `ranges` as written, `folded` already as folded text shows them.
    uint32_t MakeClass(const std::vector<Range>& ranges, std::vector<Range> folded, bool negated) {
        const std::vector<Range> written = Folded(ranges, ClassFolds());
        folded.insert(folded.end(), written.begin(), written.end());
        pattern_.classes_.push_back({Merged(std::move(folded)), negated});
        return Make(Kind::Class, static_cast<uint32_t>(pattern_.classes_.size() - 1));
    }

    // The program was sized in full before the first instruction.
    uint32_t Add(TTracePattern::Instruction instruction) {
        pattern_.program_.push_back(instruction);
        return static_cast<uint32_t>(pattern_.program_.size() - 1);
    }
    uint32_t Here() const { return static_cast<uint32_t>(pattern_.program_.size()); }

    void Emit(uint32_t index) {
        using Op = TTracePattern::Op;
        const Node& node = nodes_[index];
        if (node.size == 0) return;
        switch (node.kind) {
            case Kind::Empty: return;
            case Kind::Char: Add({Op::Char, node.value}); return;
            case Kind::Any: Add({Op::Any}); return;
            case Kind::Class: Add({Op::Class, node.value}); return;
            case Kind::Begin: Add({Op::Begin}); return;
            case Kind::End: Add({Op::End}); return;
            case Kind::Sequence:
                for (const uint32_t child : node.children) Emit(child);
                return;
            case Kind::Choice: {
                std::vector<uint32_t> jumps;
                for (size_t i = 0; i < node.children.size(); ++i) {
                    const bool last = i + 1 == node.children.size();
                    const uint32_t split = last ? 0 : Add({Op::Split});
                    if (!last) pattern_.program_[split].x = Here();
                    Emit(node.children[i]);
                    if (last) break;
                    jumps.push_back(Add({Op::Jump}));
                    pattern_.program_[split].y = Here();
                }
                for (const uint32_t jump : jumps) pattern_.program_[jump].x = Here();
                return;
            }
            case Kind::Repeat: EmitRepeat(node); return;
        }
    }

    void EmitRepeat(const Node& node) {
        using Op = TTracePattern::Op;
        const uint32_t child = node.children[0];
        for (uint32_t i = 0; i < node.min; ++i) Emit(child);
        if (node.max == kNoLimit) {
            const uint32_t loop = Add({Op::Split});
            pattern_.program_[loop].x = Here();
            Emit(child);
            Add({Op::Jump, loop});
            pattern_.program_[loop].y = Here();
            return;
        }
        std::vector<uint32_t> splits;
        for (uint32_t i = node.min; i < node.max; ++i) {
            splits.push_back(Add({Op::Split}));
            pattern_.program_[splits.back()].x = Here();
            Emit(child);
        }
        for (const uint32_t split : splits) pattern_.program_[split].y = Here();
    }

    std::wstring_view source_;
    TTracePattern& pattern_;
    size_t at_ = 0;
    std::vector<Node> nodes_;
};

TTracePattern::TTracePattern(std::wstring_view source) { TPatternCompiler(source, *this).Compile(); }

bool TTracePattern::Search(std::wstring_view folded, TPatternRun& run) const {
    size_t spent = 0;
    run.pausedBy = nullptr;
    return Search(folded, run, spent, SIZE_MAX) == TPatternFound::Yes;
}

TPatternFound TTracePattern::Search(std::wstring_view folded, TPatternRun& run, size_t& spent, size_t limit) const {
    const auto size = static_cast<uint32_t>(program_.size());
    if (run.seen.size() < size) run.seen.assign(size, 0);
    const auto nextGeneration = [&run] {
        if (++run.generation == 0) {
            std::fill(run.seen.begin(), run.seen.end(), 0);
            run.generation = 1;
        }
    };
    // Follows the jumps, splits and assertions from `start` at `position`:
    // the threads that wait for a character join `list`; true when one
    // reaches the end of the pattern.
    const auto add = [&](std::vector<uint32_t>& list, uint32_t start, size_t position) {
        run.stack.assign(1, start);
        while (!run.stack.empty()) {
            const uint32_t pc = run.stack.back();
            run.stack.pop_back();
            ++spent;
            if (run.seen[pc] == run.generation) continue;
            run.seen[pc] = run.generation;
            const Instruction& instruction = program_[pc];
            switch (instruction.op) {
                case Op::Jump: run.stack.push_back(instruction.x); break;
                case Op::Split:
                    run.stack.push_back(instruction.y);
                    run.stack.push_back(instruction.x);
                    break;
                case Op::Begin:
                    if (position == 0) run.stack.push_back(pc + 1);
                    break;
                case Op::End:
                    if (position == folded.size()) run.stack.push_back(pc + 1);
                    break;
                case Op::Match: return true;
                default: list.push_back(pc); break;
            }
        }
        return false;
    };
    // Only the start can match a pattern that begins with "^".
    const bool anchored = program_.front().op == Op::Begin;
    const auto found = [&run](TPatternFound outcome) {
        run.pausedBy = nullptr;
        return outcome;
    };
    size_t position = 0;
    if (run.pausedBy == this && run.pausedAt <= folded.size()) {
        position = run.pausedAt;
    } else {
        nextGeneration();
        run.current.clear();
    }
    for (;; ++position) {
        if ((position == 0 || !anchored) && add(run.current, 0, position)) return found(TPatternFound::Yes);
        if (position == folded.size() || (run.current.empty() && anchored)) return found(TPatternFound::No);
        const auto c = static_cast<uint32_t>(folded[position]);
        nextGeneration();
        run.next.clear();
        for (const uint32_t pc : run.current) {
            ++spent;
            const Instruction& instruction = program_[pc];
            const bool takes = instruction.op == Op::Any || (instruction.op == Op::Char && instruction.x == c) ||
                               (instruction.op == Op::Class && classes_[instruction.x].Contains(c));
            if (takes && add(run.next, pc + 1, position + 1)) return found(TPatternFound::Yes);
        }
        run.current.swap(run.next);
        // Paused between two characters, where the threads are all in
        // `current`, and only after one: each call goes on by one at least.
        if (spent >= limit) {
            run.pausedBy = this;
            run.pausedAt = position + 1;
            return TPatternFound::OutOfSteps;
        }
    }
}

}  // namespace norvale
