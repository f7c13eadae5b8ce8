// The term language of the trace window's boxes, from one table: what a box
// matches in one row, or why it does not parse.

#include <gtest/gtest.h>

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
        {L"/(a{1000}){1000}/", L"a", "\"/(a{1000}){1000}/\": the pattern is too large"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Outcome(row.box, row.message), row.outcome) << WideToUtf8(row.box);
    }
}

}  // namespace
}  // namespace norvale
