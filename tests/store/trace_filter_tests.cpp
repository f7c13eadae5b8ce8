#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "common/utf8_text.h"
#include "store/trace_shown_rows.h"
#include "store_test_entries.h"

namespace norvale {
namespace {

using test::Entry;

// "row" for each shown row, "row*" when highlighted.
std::string ShownText(const TShownRows& shown) {
    std::string text;
    for (size_t i = 0; i < shown.Count(); ++i) {
        text += (text.empty() ? "" : " ") + std::to_string(shown.At(i).row) + (shown.At(i).highlighted ? "*" : "");
    }
    return text;
}

TEST(TraceFilterTest, ShowHideAndHighlightTermsMatchAnyColumnWithoutCaseAndABlockAsOne) {
    const TBlockLines block = TBlockLines::FromText(L"alpha\nbeta");
    TraceEntry ledger = Entry(L"Posting failed");
    ledger.className = L"TLedger";
    TTraceStore store(100);
    for (const wchar_t* text : {L"Posting done", L"GRÜSSE aus Köln", L"Привет мир", L"ΟΔΟΣ"}) {
        store.Append(Entry(text));
    }
    store.Append(Entry(L"Dump", MessageKind::Block, &block));
    store.Append(ledger);
    const std::pair<TraceFilterTexts, std::string> cases[] = {
        // show, hide, highlight
        {{L"", L"", L""}, "0 1 2 3 4 5 6 7"},
        {{L"posting", L"", L""}, "0 7"},
        {{L" grüsse ;; ПРИВЕТ ; ", L"", L""}, "1 2"},
        {{L"οδος", L"", L""}, "3"},
        {{L"tledger", L"", L""}, "7"},
        {{L"coretinvoice", L"", L""}, ""},
        {{L"", L"BETA", L""}, "0 1 2 3 7"},
        {{L"", L"", L"alpha;FAILED"}, "0 1 2 3 4* 5* 6* 7*"},
        {{L"posting;dump", L"failed", L"done; beta"}, "0* 4* 5* 6*"},
    };
    for (const auto& [texts, expected] : cases) {
        TShownRows shown;
        shown.SetFilter(TTraceFilter(texts));
        EXPECT_FALSE(shown.Step(store).more);
        EXPECT_EQ(ShownText(shown), expected) << "show \"" << WideToUtf8(texts.show) << "\"";
    }
}

// The list a single pass of the filter over the whole store gives.
std::string FullPass(const TTraceStore& store, const TTraceFilter& filter) {
    TShownRows full;
    full.SetFilter(filter);
    full.Step(store, store.KeptRows());
    return ShownText(full);
}

TEST(TraceShownRowsTest, SlicedRefilterWhileRowsArriveEqualsOneFullPass) {
    const TBlockLines block = TBlockLines::FromText(L"x7\ny");
    const TTraceFilter filters[] = {TTraceFilter({L"n1;n2", L"n15", L"x7"}), TTraceFilter({L"", L"y", L"n3"}),
                                    TTraceFilter({L"n4; 9", L"n49", L"x7"}),
                                    TTraceFilter({L"/n\\d*7$/;n5", L"/^n1/;n33", L"/x\\d/"})};
    // Fixed seed. In every other hundred the budgets fall behind the rows
    // until rows leave before they are scanned; in the others they catch up.
    // Filters change now and then, often in mid-pass. Every third time the
    // rows are taken as the window takes them: steps until none are left,
    // told as one change. Step budgets of a few steps pause matches inside a
    // pattern, between terms and between boxes.
    std::mt19937 random(7);
    TTraceStore store(60);
    TShownRows sliced;
    size_t listed = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::wstring text = L"n" + std::to_wstring(i);
        store.Append(Entry(text, MessageKind::Block, random() % 3 == 0 ? &block : nullptr));
        if (random() % 30 == 0) sliced.SetFilter(filters[random() % 4]);
        const size_t rows = i / 100 % 2 == 0 ? random() % 3 : random() % 10;
        const size_t steps = i / 50 % 2 == 0 ? random() % 8 : TShownRows::kStepsPerSlice;
        const TShownChange change = i % 3 == 0 ? sliced.StepWithin(store, std::chrono::hours(1), rows + 1, steps)
                                               : sliced.Step(store, rows, steps);
        if (i % 3 == 0) {
            ASSERT_FALSE(change.more);
        }
        // Without time, one step only.
        if (i == 2000) {
            ASSERT_TRUE(TShownRows().StepWithin(store, std::chrono::microseconds(0), 1).more);
        }
        listed = change.replaced ? sliced.Count() : listed - change.forgotten + change.added;
        ASSERT_EQ(listed, sliced.Count());
        if (!change.more) {
            ASSERT_EQ(ShownText(sliced), FullPass(store, sliced.Filter()));
        }
    }
}

// A step copies the rows' texts out of the store before it matches them,
// 256 Ki characters at most, whatever its row budget: long rows take more
// steps.
TEST(TraceShownRowsTest, AStepTakesTheTextsOf256KiCharactersAtMost) {
    TTraceStore store(10);
    for (int i = 0; i < 3; ++i) store.Append(Entry(std::wstring(200000, L'x')));
    TShownRows shown;
    shown.SetFilter(TTraceFilter({L"x", L"", L""}));
    EXPECT_TRUE(shown.Step(store).more);
    EXPECT_FALSE(shown.Step(store).more);
    EXPECT_EQ(ShownText(shown), "0 1 2");
}

}  // namespace
}  // namespace norvale
