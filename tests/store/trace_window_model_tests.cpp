// What the trace window decides in plain code besides its filters: the time
// between shown rows, marks, find, and saved traces read back.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <thread>

#include "common/utf8_text.h"
#include "store/trace_copy_text.h"
#include "store/trace_file.h"
#include "store/trace_file_load.h"
#include "store/trace_find.h"
#include "store/trace_marks.h"
#include "store_test_entries.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

using test::Entry;

TraceRowFields At(const char* date, TimeOfDay time, bool continuation = false) {
    TraceRowFields row;
    std::sscanf(date, "%hu-%hu-%hu", &row.time.year, &row.time.month, &row.time.day);
    row.time.time = time;
    row.continuation = continuation;
    return row;
}

TEST(TraceDeltaTest, SignedMillisecondsAcrossMidnightAndMonthsNoneOnFurtherRows) {
    const TraceRowFields before = At("2026-02-28", {23, 59, 59, 900});
    const struct {
        TraceRowFields row;
        const TraceRowFields* previous;
        std::wstring text;
    } rows[] = {
        {At("2026-03-01", {0, 0, 0, 150}), &before, L"250"},
        {At("2026-02-28", {23, 59, 58, 0}), &before, L"-1900"},
        {At("2027-02-28", {23, 59, 59, 900}), &before, L"31536000000"},
        {At("2026-03-01", {0, 0, 0, 150}, true), &before, L""},
        {At("2026-03-01", {0, 0, 0, 150}), nullptr, L""},
    };
    for (const auto& row : rows) {
        std::wstring text;
        AppendDeltaText(text, row.previous, row.row);
        EXPECT_EQ(text, row.text);
    }
}

// Entries "e0" ... "e5", "e2" a block of two further rows; the filter hides
// the entries with an odd number.
class TraceStepsTest : public testing::Test {
protected:
    TraceStepsTest() {
        for (int i = 0; i < 6; ++i) {
            texts_.push_back(L"e" + std::to_wstring(i));
            store_.Append(Entry(texts_.back(), MessageKind::Block, i == 2 ? &block_ : nullptr));
        }
        shown_.SetFilter(TTraceFilter({L"", L"/^e[135]$/", L""}));
        shown_.Step(store_);
    }
    std::optional<TraceStepTo> Find(const std::wstring& box, TraceFindWay way, std::optional<size_t> from,
                                    size_t steps) {
        TTraceFind find(TTraceTerms(box), way, shown_, from);
        // A row at a time, as slices of the shortest kind.
        for (int slice = 0; !find.Step(shown_, store_, 1, steps); ++slice) {
            if (slice > 1000) {
                ADD_FAILURE() << "find did not end within 1000 steps";
                return std::nullopt;
            }
        }
        return find.Found();
    }

    TBlockLines block_ = TBlockLines::FromText(L"x1\nx2");
    std::vector<std::wstring> texts_;
    TTraceStore store_{100};
    TShownRows shown_;
};

// Shown: 0 "e0", 1 "e2", 2 "x1", 3 "x2", 4 "e4" (rows 0, 2, 3, 4, 6).
TEST_F(TraceStepsTest, FindGoesToTheNextOrPreviousMatchingRowAndWraps) {
    using W = TraceFindWay;
    const struct {
        std::wstring box;
        TraceFindWay way;
        std::optional<size_t> from;
        std::optional<TraceStepTo> found;
    } rows[] = {
        {L"x", W::Next, std::nullopt, TraceStepTo{2, false}},
        {L"x", W::Next, 2, TraceStepTo{3, false}},
        {L"x", W::Next, 3, TraceStepTo{2, true}},
        {L"x", W::Previous, 3, TraceStepTo{2, false}},
        {L"x", W::Previous, 1, TraceStepTo{3, true}},
        {L"message:/^e[04]$/", W::Previous, std::nullopt, TraceStepTo{4, false}},
        {L"/e9/;nothing;/^x2$/", W::Next, std::nullopt, TraceStepTo{3, false}},
        {L"e4", W::Next, 4, TraceStepTo{4, true}},
        {L"e1", W::Next, 0, std::nullopt},
        {L"e1", W::Previous, std::nullopt, std::nullopt},
    };
    // Also a step at a time, which pauses a pattern at every character and
    // the terms between each other.
    for (const size_t steps : {TTraceFind::kStepsPerSlice, size_t{1}}) {
        for (const auto& row : rows) {
            EXPECT_EQ(Find(row.box, row.way, row.from, steps), row.found)
                << WideToUtf8(row.box) << " from " << row.from.value_or(99) << " in steps of " << steps;
        }
    }
}

TEST_F(TraceStepsTest, MarksFollowTheirRowsThroughFiltersAndGoWithThemFromTheStore) {
    TTraceMarks marks;
    const uint64_t marked[] = {1, 3, 6};
    marks.Toggle(marked);
    marks.Toggle(std::span(marked, 1));
    EXPECT_EQ(marks.Count(), 2u) << "a row left unmarked when all were marked";
    marks.Toggle(marked);
    EXPECT_EQ(marks.Count(), 3u) << "every row marked when one was not";
    // Row 1 ("e1") is filtered out: steps pass it by.
    EXPECT_EQ(marks.Next(shown_, 0), (TraceStepTo{2, false}));
    EXPECT_EQ(marks.Next(shown_, 4), (TraceStepTo{2, true}));
    EXPECT_EQ(marks.Previous(shown_, 2), (TraceStepTo{4, true}));
    EXPECT_EQ(marks.Previous(shown_, std::nullopt), (TraceStepTo{4, false}));
    shown_.SetFilter(TTraceFilter());
    shown_.Step(store_);
    EXPECT_EQ(marks.Next(shown_, 0), (TraceStepTo{1, false})) << "shown again with its mark";
    marks.Forget(3);
    EXPECT_EQ(marks.Count(), 2u);
    marks.Forget(7);
    EXPECT_EQ(marks.Next(shown_, std::nullopt), std::nullopt);
}

// Every kept row as the window shows it, with each row's date.
std::wstring Dated(const TTraceStore& store) {
    return store.Read([](const TTraceRows& rows) {
        std::wstring text;
        for (uint64_t row = rows.First(); row < rows.End(); ++row) {
            const TraceRowFields fields = rows.Fields(row);
            text += std::to_wstring(fields.time.day) + L" " + std::to_wstring(static_cast<int>(fields.kind)) + L" ";
            AppendRowLine(text, fields);
        }
        return text;
    });
}

TraceLoadProgress Load(const std::string& path, TTraceStore& into) {
    UniqueFile file;
    EXPECT_EQ(FileOpenForReading(path, file), 0u);
    TTraceFileLoad load(std::move(file), into, [] {});
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!load.Progress().finished && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(load.Progress().finished) << "the trace file was not read within 30 s";
    return load.Progress();
}

// Copy reads its rows a few at a time, and never more than a hold's
// characters at once; a row that left meanwhile is left out.
TEST(TraceCopyTest, ManyRowsAreReadOverStepsBoundedByRowsAndCharacters) {
    TTraceStore store(6);
    for (int i = 0; i < 3; ++i) store.Append(Entry(std::wstring(TTraceStore::kCharsPerRead / 2, L'x')));
    for (int i = 0; i < 3; ++i) store.Append(Entry(L"short"));
    const std::wstring all = test::KeptText(store);
    const struct {
        size_t rowBudget;
        std::vector<unsigned> percents;
    } rows[] = {{TTraceCopy::kRowsPerStep, {33, 99}}, {4, {33, 99}}, {2, {33, 66, 99}}, {1, {16, 33, 50, 66, 83, 99}}};
    for (const auto& row : rows) {
        TTraceCopy copy({0, 1, 2, 3, 4, 5});
        std::vector<unsigned> percents;
        for (bool done = false; !done && percents.size() < 10;) {
            done = copy.Step(store, row.rowBudget);
            percents.push_back(copy.Percent());
        }
        EXPECT_EQ(percents, row.percents) << row.rowBudget;
        EXPECT_EQ(copy.Text(), all) << row.rowBudget;
    }
    TTraceCopy copy({0, 1, 5});
    EXPECT_FALSE(copy.Step(store, 1));
    for (int i = 0; i < 3; ++i) store.Append(Entry(L"pushes the oldest out"));
    while (!copy.Step(store, 1)) {}
    const size_t lastLine = all.rfind(L"\r\n", all.size() - 3) + 2;
    EXPECT_EQ(copy.Text(), all.substr(0, all.find(L"\r\n") + 2) + all.substr(lastLine)) << "rows 0 and 5 only";
}

TEST(TraceFileTest, ASavedTraceReadsBackRowForRowWithItsDates) {
    const TBlockLines block = TBlockLines::FromText(L"tab\there\nback\\slash");
    TTraceStore store(20);
    TraceEntry notice = Entry(L"Norvale Starting Up", MessageKind::Notice);
    notice.source = nullptr;
    TraceEntry own = Entry(L"cr\rlf\n\u4e2d", MessageKind::Code2);
    own.className = L"TOwn";
    own.code = 2;
    TraceEntry entered = Entry(L"Run", MessageKind::EnterMethod);
    entered.time.day = 10;
    for (const TraceEntry& entry : {notice, own, Entry(L"dump", MessageKind::Block, &block), entered}) {
        TraceEntry dated = entry;
        dated.time.year = 2026;
        dated.time.month = 12;
        dated.time.day = std::max<uint16_t>(entry.time.day, 9);
        store.Append(dated);
    }
    std::wstring saved;
    AppendSavedTraceHeader(saved);
    store.Read([&saved](const TTraceRows& rows) {
        const uint64_t all[] = {0, 1, 2, 3, 4, 5};
        AppendSavedTraceRows(saved, rows, all);
    });
    const std::wstring fields = L"\t14:03:27.512\tWS12\t000004d2\tBilling\tCore\t";
    EXPECT_EQ(saved, L"Date\tTime\tMachine\tProcess\tProject\tModule\tClass\tThread\tCode\tMessage\r\n"
                     L"2026-12-09\t14:03:27.512\t\t\t\t\t\t\t\tNorvale Starting Up\r\n"
                     L"2026-12-09" + fields + L"TOwn\t000001a4\t00000002\tcr\\rlf\\n\u4e2d\r\n"
                     L"2026-12-09" + fields + L"TInvoice\t000001a4\t0000000a\tdump\r\n"
                     L"\t\t\t\t\t\t\t\t\ttab\\there\r\n\t\t\t\t\t\t\t\t\tback\\\\slash\r\n"
                     L"2026-12-10" + fields + L"TInvoice\t000001a4\t0000000a\t-> Run\r\n");
    test::ScratchDirectory dir;
    std::ofstream(dir.PathOf("saved.txt"), std::ios::binary) << WideToUtf8(saved);
    TTraceStore read(1);
    const TraceLoadProgress progress = Load(dir.PathOf("saved.txt"), read);
    EXPECT_EQ(Dated(read), Dated(store));
    EXPECT_EQ(progress.rows, 6u);
    EXPECT_EQ(progress.unparsed, 0u);
    EXPECT_EQ(progress.failure, "");
    EXPECT_EQ(read.Capacity(), 7u) << "sized to the file's lines, its header one of them";
}

TEST(TraceFileTest, AFileWithoutHeaderIsReadAsFoundAndALineThatDoesNotParseIsKeptWhole) {
    const struct {
        std::string file;
        std::wstring rows;
        uint64_t unparsed;
    } cases[] = {
        // As saved before the header: nine columns, no escapes, no date.
        {"14:03:27.512\tW\t000004d2\tP\tM\tTC\t000001a4\t00000003\tC:\\temp\r\n\t\t\t\t\t\t\t\ta\r\n",
         L"0 6 14:03:27.512\tW\t000004d2\tP\tM\tTC\t000001a4\t00000003\tC:\\temp\r\n0 6 \t\t\t\t\t\t\t\ta\r\n", 0},
        // Plain text, a bad time, a short line, a bad escape, a last line
        // without its end; a header in another order.
        {"no tabs at all\n25:00:00.000\t\t\t\t\t\t\t\tx\n\ta\tb\n", L"0 0 \t\t\t\t\t\t\t\tno tabs at all\r\n"
         L"0 0 \t\t\t\t\t\t\t\t25:00:00.000\t\t\t\t\t\t\t\tx\r\n0 0 \t\t\t\t\t\t\t\t\ta\tb\r\n", 3},
        {"\xEF\xBB\xBFMessage\tTime\tExtra\nm\\q\t\t\nm\\\\\t01:02:03.004\tz",
         L"0 0 \t\t\t\t\t\t\t\tm\\q\t\t\r\n0 8 01:02:03.004\t\t\t\t\t\t\t\tm\\\r\n", 1},
    };
    for (const auto& c : cases) {
        TTraceStore read(10);
        TTraceFileReader reader([&read](const TraceEntry& e, const std::vector<std::wstring>& lines, bool timeless) {
            read.AppendRead(e, lines, timeless);
        });
        // Cut in two anywhere: a line may end in the next piece.
        reader.Feed(std::string_view(c.file).substr(0, 5));
        reader.Feed(std::string_view(c.file).substr(5));
        reader.Finish();
        EXPECT_EQ(Dated(read), c.rows) << c.file;
        EXPECT_EQ(reader.Unparsed(), c.unparsed) << c.file;
    }
}

// The file read into `store`, then every row saved again.
std::string Resave(const std::string& file, TTraceStore& store) {
    TTraceFileReader reader([&store](const TraceEntry& e, const std::vector<std::wstring>& lines, bool timeless) {
        store.AppendRead(e, lines, timeless);
    });
    reader.Feed(file);
    reader.Finish();
    std::wstring saved;
    AppendSavedTraceHeader(saved);
    store.Read([&saved](const TTraceRows& rows) {
        std::vector<uint64_t> all(rows.End());
        std::iota(all.begin(), all.end(), 0);
        AppendSavedTraceRows(saved, rows, all);
    });
    return WideToUtf8(saved);
}

TEST(TraceFileTest, SavedReadAndSavedAgainATraceGivesTheSameBytesAndRows) {
    const std::string header = "Date\tTime\tMachine\tProcess\tProject\tModule\tClass\tThread\tCode\tMessage\r\n";
    const std::string at = "14:03:27.512\tWS12\t000004d2\tBilling\tCore\tTInvoice\t000001a4\t0000000a\t";
    const std::string empty = "\t\t\t\t\t\t\t\t\t";
    const struct {
        std::string file;
        std::string saved;
    } cases[] = {
        // A block with a line that looks like a row; after it lines that do
        // not parse, one empty; a notice; a row with a source but no time.
        {header + "2026-12-09\t" + at + "dump\r\n" + empty + "x1\r\n" + empty + "2026-12-09\\t" + at.substr(0, 12) +
             "\r\nnot a row\r\n\r\n2026-12-09\t14:03:27.513\t\t\t\t\t\t\t\tStarting\r\n\t\t" + at.substr(13) + "Run\r\n",
         header + "2026-12-09\t" + at + "dump\r\n" + empty + "x1\r\n" + empty + "2026-12-09\\t" + at.substr(0, 12) +
             "\r\n-" + empty + "not a row\r\n-" + empty + "\r\n2026-12-09\t14:03:27.513\t\t\t\t\t\t\t\tStarting\r\n-\t\t" +
             at.substr(13) + "Run\r\n"},
        // As saved before the header: no dates, no escapes; a line kept whole.
        {"14:03:27.512\tWS12\t000004d2\tBilling\tCore\tTInvoice\t000001a4\t0000000a\tC:\\temp\r\nkept\twhole\r\n",
         header + "\t" + at + "C:\\\\temp\r\n-" + empty + "kept\\twhole\r\n"},
        // A first line that does not parse, a row with nothing but its
        // message under it, and a dateless row as earlier builds saved it.
        {header + "garbage\r\n" + empty + "under it\r\n0000-00-00\t" + at + "m\r\n",
         header + "-" + empty + "garbage\r\n-" + empty + "under it\r\n\t" + at + "m\r\n"},
    };
    for (const auto& c : cases) {
        TTraceStore first(20), second(20);
        const std::string saved = Resave(c.file, first);
        EXPECT_EQ(saved, c.saved) << c.file;
        EXPECT_EQ(Resave(saved, second), saved) << c.file;
        EXPECT_EQ(Dated(second), Dated(first)) << c.file;
    }
}

}  // namespace
}  // namespace norvale
