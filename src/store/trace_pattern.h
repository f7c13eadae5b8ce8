#pragma once

// A regular expression of the trace window's terms ("/^Post.*done$/"),
// matched by an automaton of our own: the pattern compiles to a small program
// that a Pike VM runs over the text once, carrying every live thread along
// together, so a match costs at most (text length x program size) steps
// whatever the pattern and the text, and nothing in it recurses on the text.
// Libraries that backtrack (std::regex among them) take exponential time on
// patterns like "(a*)*b" and overflow the stack on long cells; the linear
// libraries would be a dependency of both trees for a yes-or-no question that
// needs no captures.
//
// The subset (what a search box needs, nothing that would need backtracking):
//   literal characters; "." any character; "[abc]", "[a-z]", "[^...]";
//   "\d" "\w" "\s" and "\D" "\W" "\S" (ASCII digits, ASCII letters, digits and
//   "_", blanks; a capital is everything its small letter's class is not,
//   after folding), also inside brackets; "\t" "\n" "\r"; "\" before any other
//   character that is no letter or digit takes it literally;
//   "^" and "$" (the start and end of the cell); "(...)" groups; "|";
//   "*", "+", "?" and "{n}", "{n,}", "{n,m}" (n, m up to 1000).
// A pattern has at most `kMaxPatternLength` characters and, with its
// repetitions written out, at most `kMaxPatternProgram` instructions, so that
// compiling one costs at most a few milliseconds.
// Not in it: back-references, look-around, lazy or possessive repetition,
// "(?" groups, named classes. The pattern is matched against folded text
// with its own letters folded the same way (`FoldCase`), so it ignores
// letter case in any script, as plain terms do.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/errors.h"

namespace norvale {

inline constexpr size_t kMaxPatternLength = 1000;
inline constexpr size_t kMaxPatternProgram = 20000;

// A term that does not parse; the message says why, in UTF-8.
class ETraceTermError : public ENorvaleError {
public:
    using ENorvaleError::ENorvaleError;
};

class TTracePattern;

// The threads of one search, kept between searches so that matching a
// million rows allocates nothing once they are big enough; also the place
// where a search out of steps waits to go on.
struct TPatternRun {
    std::vector<uint32_t> current;
    std::vector<uint32_t> next;
    std::vector<uint32_t> seen;
    std::vector<uint32_t> stack;
    uint32_t generation = 0;
    const TTracePattern* pausedBy = nullptr;
    size_t pausedAt = 0;
};

enum class TPatternFound : uint8_t { No, Yes, OutOfSteps };

class TTracePattern {
public:
    // Throws ETraceTermError with the reason.
    explicit TTracePattern(std::wstring_view source);

    // Whether the pattern matches anywhere in `folded` (text already folded).
    bool Search(std::wstring_view folded, TPatternRun& run) const;
    // The same in parts, so that a caller can bound its time inside one long
    // cell: adds the steps it takes to `spent` (about one for each live
    // thread at each character) and, once they reach `limit`, keeps its place
    // in `run` and says OutOfSteps; the next call with the same run and text
    // goes on from there. A call goes on by at least one character, and past
    // the limit by at most one character's work (four steps an instruction).
    // Any other search with the run drops the place.
    TPatternFound Search(std::wstring_view folded, TPatternRun& run, size_t& spent, size_t limit) const;

    // The program's size, which bounds the work per character.
    size_t Size() const { return program_.size(); }

    enum class Op : uint8_t { Char, Any, Class, Split, Jump, Begin, End, Match };
    struct Instruction {
        Op op;
        uint32_t x = 0;  // Char: the character; Class: its index; Split, Jump: a target
        uint32_t y = 0;  // Split: the other target
    };
    // Folded characters as sorted, disjoint ranges.
    struct CharClass {
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        bool negated = false;
        bool Contains(uint32_t c) const;
    };

private:
    friend class TPatternCompiler;
    std::vector<Instruction> program_;
    std::vector<CharClass> classes_;
};

}  // namespace norvale
