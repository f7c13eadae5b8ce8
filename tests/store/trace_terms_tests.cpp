// The term language of the trace window's boxes, from one table: what a box
// matches in one row, or why it does not parse.

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <utility>

#include "common/case_fold.h"
#include "common/utf8_text.h"
#include "store/trace_terms.h"
#include "store_test_entries.h"

namespace norvale {
namespace {

// "yes", "no", or the reason the box does not parse. The row comes from
// `test::Entry`: class TInvoice, project Billing, process 000004d2, time
// 14:03:27.512, and `message`.
std::string Outcome(const std::wstring& box, const std::wstring& message) {
    try {
        const TTraceTerms terms(box);
        TTraceStore store(1);
        store.Append(test::Entry(message));
        return store.Read([&terms](const TTraceRows& rows) {
            TTraceRowMatch row;
            row.Fill(rows.Fields(rows.First()));
            return terms.MatchAny(row) ? "yes" : "no";
        });
    } catch (const ETraceTermError& error) {
        return error.what();
    }
}

TEST(TraceTermsTest, ColumnsPatternsAndErrors) {
    const std::wstring longCell = std::wstring(kPatternReach - 1, L'a') + L"bc";
    const struct {
        std::wstring box;
        std::wstring message;
        std::string outcome;
    } rows[] = {
        // Plain terms: any column, any case; empty terms ignored.
        {L"invoice", L"Posting done", "yes"},
        {L" ; nothing ;  DONE ", L"Posting done", "yes"},
        {L"", L"Posting done", "no"},
        {L"grüsse", L"GRÜSSE aus Köln", "yes"},
        // A column by its shown name, in any case, spaces after the colon.
        {L"class:TInvoice", L"Posting done", "yes"},
        {L"CLASS: tinv", L"Posting done", "yes"},
        {L"message:invoice", L"Posting done", "no"},
        {L"process:4d2", L"x", "yes"},
        {L"time:14:03", L"x", "yes"},
        {L"message:a:b", L"x a:b", "yes"},
        // A prefix that is no column name leaves the term plain.
        {L"C:\\x", L"open C:\\x failed", "yes"},
        {L"14:03", L"x", "yes"},
        {L"Tim:14", L"x", "no"},
        // Patterns: the message, or the column named.
        {L"/^Post.*done$/", L"Posting done", "yes"},
        {L"/^post.*DONE$/", L"Posting done twice", "no"},
        {L"/invoice/", L"Posting done", "no"},
        {L"class:/^T(In|Out)/", L"x", "yes"},
        {L"class:/^T(Out|Ledger)/", L"x", "no"},
        {L"/a;b/", L"x a;b", "yes"},
        {L"/a\\/b/ ; zzz", L"x a/b", "yes"},
        {L"zzz;/^ПРИВЕТ\\s+мир$/", L"привет  МИР", "yes"},
        {L"/^[A-Z]\\d{2,3}[^x]$/", L"q123y", "yes"},
        {L"/^[A-Z]\\d{2,3}[^x]$/", L"q1234y", "no"},
        {L"/^(ab|c)+d?$/", L"abcab", "yes"},
        {L"/^\\w+\\W\\S$/", L"a_1.b", "yes"},
        {L"/[.]|\\./", L"no dot", "no"},
        {L"/x{3}/", L"xx-xx", "no"},
        {L"/(a*)*b/", std::wstring(20000, L'a'), "no"},
        // Each class at the edges of its ranges; a capital is the negation of the folded class, so the Kelvin
        // sign, long s and dotted I (folded to k, s, i) are word characters.
        {L"/^\\d+$/", L"09", "yes"}, {L"/\\d/", L"/:", "no"}, {L"/^\\D+$/", L"/:", "yes"}, {L"/\\D/", L"09", "no"},
        {L"/^\\w+$/", L"09AZ_az", "yes"}, {L"/\\w/", L"/:@[^`{", "no"}, {L"/^\\W+$/", L"/:@[^`{", "yes"},
        {L"/\\W/", L"09AZ_az", "no"}, {L"/^\\s+$/", L"\t\r ", "yes"}, {L"/\\s/", L"\b\x0e\x1f!", "no"},
        {L"/^\\S+$/", L"\b\x0e\x1f!", "yes"}, {L"/\\S/", L"\t\r ", "no"}, {L"/^\\W+$/", L"\u212Aiss", "no"},
        {L"/[\\W]/", L"\u212A\u017F\u0130", "no"}, {L"/^[^\\W]+$/", L"\u212A\u017F\u0130", "yes"},
        {L"/^[\\W\\d]+$/", L"-1", "yes"},
        // Counts: exactly n, at least n, n to m.
        {L"/^x{3}$/", L"xxx", "yes"}, {L"/^x{3}$/", L"xxxx", "no"}, {L"/^x{3}$/", L"xx", "no"},
        {L"/^x{0}y$/", L"y", "yes"}, {L"/^x{2,}$/", L"x", "no"}, {L"/^x{2,}$/", L"xxxxx", "yes"},
        {L"/^x{2,3}$/", L"xx", "yes"}, {L"/^x{2,3}$/", L"xxxx", "no"},
        {L"/c$/", longCell, "no"},
        {L"/b/", longCell, "yes"},
        // Errors: the term and why.
        {L"ok; /^Post", L"x", "\"/^Post\": the pattern has no closing \"/\""},
        {L"/a/b", L"x", "\"/a/\" is followed by \"b\": terms are separated by \";\""},
        {L"class: ; x", L"x", "\"class:\" names a column but no text to find"},
        {L"//", L"x", "\"//\": the pattern between the slashes is empty"},
        {L"/a(b/", L"x", "\"/a(b/\": \"(\" without \")\""},
        {L"/a)/", L"x", "\"/a)/\": \")\" without \"(\""},
        {L"/*a/", L"x", "\"/*a/\": \"*\" has nothing to repeat"},
        {L"/a**/", L"x", "\"/a**/\": \"*\" repeats a repetition"},
        {L"/[ab/", L"x", "\"/[ab/\": \"[\" without \"]\""},
        {L"/[z-a]/", L"x", "\"/[z-a]/\": the range \"z-a\" runs backwards"},
        {L"/\\q/", L"x", "\"/\\q/\": \"\\q\" is no escape of the pattern language"},
        {L"/a{2,1}/", L"x", "\"/a{2,1}/\": a repetition in braces is {n}, {n,} or {n,m}, with n <= m <= 1000"},
        {L"/(?i)a/", L"x", "\"/(?i)a/\": \"(?\" groups are not in the pattern language"},
        {L"/" + std::wstring(101, L'(') + L"a" + std::wstring(101, L')') + L"/", L"a",
         "\"/" + std::string(101, '(') + "a" + std::string(101, ')') + "/\": groups nest deeper than 100"},
        {L"/(a{1000}){1000}/", L"a",
         "\"/(a{1000}){1000}/\": the pattern is too large: with its repetitions written out it has more than "
         "20000 parts"},
        {L"/" + std::wstring(1001, L'a') + L"/", L"a",
         "\"/" + std::string(1001, 'a') + "/\": the pattern is longer than 1000 characters"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Outcome(row.box, row.message), row.outcome) << WideToUtf8(row.box);
    }
}

// However its repetitions nest, a pattern compiles to at most the program's
// bound (the size given) or is refused (0), and so in a bounded time.
TEST(TraceTermsTest, PatternsCompileWithinTheirBound) {
    const auto times = [](std::wstring_view unit, size_t count) {
        std::wstring text;
        while (count-- > 0) text += unit;
        return text;
    };
    const std::pair<std::wstring, size_t> rows[] = {
        {L"(((){1000}){1000}){1000}", 1}, {L"((((){1000}){1000}){1000}){1000}", 1}, {L"(((a){1000}){1000}){1000}", 0},
        {L"((.?){1000}){6}z", 12002}, {L"(a{1000}){19}a{999}", 20000}, {L"(a{1000}){19}a{1000}", 0},
        {L"((a*){1000}){6}(a*){666}a", 20000}, {L"((a*){1000}){6}(a*){666}aa", 0}, {L"((a|b){1000}){5}", 0},
        {times(L"\\W", 500), 501}, {times(L"\\W", 2000), 0}, {times(L"[\u0001-\uFFFF]", 200), 201}};
    for (const auto& [written, size] : rows) {
        try {
            EXPECT_EQ(TTracePattern(written).Size(), size) << WideToUtf8(written);
        } catch (const ETraceTermError&) {
            EXPECT_EQ(0u, size) << WideToUtf8(written);
        }
    }
}

// A search in parts finds what one search finds, each part within its limit
// and one character's work, and pauses as often as its limit says.
TEST(TraceTermsTest, PatternSearchesGoOnWhereTheirStepsRanOut) {
    using enum TPatternFound;
    const struct {
        std::wstring pattern, text;
        size_t limit;
        TPatternFound found;
        int calls;
    } rows[] = {{L"b", std::wstring(1000, L'a') + L"b", 100, Yes, 21}, {L"z", L"abc", 0, No, 4},
                {L"^a", L"bbbb", 0, No, 2}, {L"((.?){1000}){6}z", std::wstring(200, L'a'), 1000000, No, 5},
                {L"a|b", L"xxb", 1000, Yes, 1}};
    for (const auto& row : rows) {
        const TTracePattern pattern(row.pattern);
        TPatternRun run;
        TPatternFound found = OutOfSteps;
        int calls = 0;
        for (size_t spent = 0; found == OutOfSteps && calls++ < 10000; spent = 0) {
            found = pattern.Search(row.text, run, spent, row.limit);
            EXPECT_LE(spent, row.limit + 4 * pattern.Size() + 1) << WideToUtf8(row.pattern);
        }
        EXPECT_EQ(std::pair(found, calls), std::pair(row.found, row.calls)) << WideToUtf8(row.pattern);
    }
}

// Random atoms of every kind and count, matched by backtracking as plain as
// can be: the automaton must find what it finds.
struct Atom {
    wchar_t kind;  // '^', '$', or '.' for a character that `takes` takes
    std::function<bool(wchar_t)> takes;
    size_t min = 1, max = 1;
};

bool MatchHere(const std::vector<Atom>& atoms, size_t i, std::wstring_view t, size_t at) {
    if (i == atoms.size()) return true;
    const Atom& atom = atoms[i];
    if (atom.kind != L'.') return at == (atom.kind == L'^' ? 0 : t.size()) && MatchHere(atoms, i + 1, t, at);
    for (size_t n = 0;; ++n) {
        if (n >= atom.min && MatchHere(atoms, i + 1, t, at + n)) return true;
        if (n == atom.max || at + n == t.size() || !atom.takes(t[at + n])) return false;
    }
}

TEST(TraceTermsTest, PatternsFindWhatBacktrackingFinds) {
    const auto fold = [](wchar_t c) {
        std::wstring one(1, c);
        FoldCase(one);
        return one[0];
    };
    const std::wstring words = L"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
    const std::wstring_view chars = L"aAkKs\u017F\u212Ai\u0130_ 0-\t";
    // A character, a class or a shorthand, as written and as the characters whose folds it takes (or leaves).
    const struct { std::wstring_view written; std::wstring members; bool others; } items[] = {
        {L"k", L"k", false}, {L"\u212A", L"\u212A", false}, {L"\u017F", L"\u017F", false},
        {L"[a-k]", L"abcdefghijk", false}, {L"[^K]", L"K", true}, {L".", L"", true}, {L"\\w", words, false},
        {L"\\W", words, true}, {L"[\\W]", words, true}, {L"[^\\w]", words, true}, {L"[^\\W]", words, false},
        {L"\\d", L"0123456789", false}, {L"\\D", L"0123456789", true}, {L"\\s", L"\t\n\v\f\r ", false},
        {L"\\S", L"\t\n\v\f\r ", true}};
    const struct { size_t min, max; std::wstring_view written; } counts[] = {{1, 1, L""}, {0, SIZE_MAX, L"*"},
        {1, SIZE_MAX, L"+"}, {0, 1, L"?"}, {2, 2, L"{2}"}, {1, 3, L"{1,3}"}, {2, SIZE_MAX, L"{2,}"}, {0, 0, L"{0}"}};
    std::mt19937 random(44);
    TPatternRun run;
    for (int drawn = 0; drawn < 5000; ++drawn) {
        std::wstring written, text;
        std::vector<Atom> atoms;
        for (size_t length = 1 + random() % 4; length > 0; --length) {
            if (random() % 8 == 0) {
                atoms.push_back({random() % 2 ? L'^' : L'$', nullptr});
                written += atoms.back().kind;
                continue;
            }
            const auto& item = items[random() % std::size(items)];
            const auto& count = counts[random() % std::size(counts)];
            atoms.push_back({L'.', [&item, fold](wchar_t c) {
                                 const auto folds = [&](wchar_t m) { return fold(m) == c; };
                                 return std::any_of(item.members.begin(), item.members.end(), folds) != item.others;
                             }, count.min, count.max});
            written += std::wstring(item.written) + std::wstring(count.written);
        }
        for (size_t length = random() % 8; length > 0; --length) text += chars[random() % chars.size()];
        FoldCase(text);
        bool found = false;
        for (size_t at = 0; at <= text.size() && !found; ++at) found = MatchHere(atoms, 0, text, at);
        ASSERT_EQ(TTracePattern(written).Search(text, run), found) << WideToUtf8(written) << " in " << WideToUtf8(text);
    }
}

}  // namespace
}  // namespace norvale
