#include <gtest/gtest.h>

#include "store_test_entries.h"

namespace norvale {
namespace {

using test::Entry;

TEST(TraceRowTextTest, EveryKindOfRowAsCopied) {
    // The header, as the documents name it.
    EXPECT_EQ(std::vector<std::wstring_view>(kTraceColumnNames.begin(), kTraceColumnNames.end()),
              (std::vector<std::wstring_view>{L"Time", L"Machine", L"Process", L"Project", L"Module", L"Class",
                                              L"Thread", L"Code", L"Message"}));
    const TBlockLines block = TBlockLines::FromText(L"first\r\nsecond");
    TraceEntry ownClass = Entry(L"Posting failed");
    ownClass.className = L"TLedger";
    ownClass.code = -2;
    ownClass.threadId = 0;
    TraceEntry noProcess = Entry(L"Ready");
    noProcess.source = std::make_shared<const TraceSource>(TraceSource{L"P", L"", L"C", L"", 0});
    noProcess.className = noProcess.source->Class;
    TraceEntry notice;
    notice.kind = MessageKind::Notice;
    notice.time.time = TimeOfDay{9, 5, 3, 47};
    notice.text = L"Norvale Starting Up";
    const std::pair<TraceEntry, std::wstring_view> rows[] = {
        {Entry(L"Posting done"), L"14:03:27.512\tWS12\t000004d2\tBilling\tCore\tTInvoice\t000001a4\t0000000a\tPosting done\r\n"},
        {ownClass, L"14:03:27.512\tWS12\t000004d2\tBilling\tCore\tTLedger\t\tfffffffe\tPosting failed\r\n"},
        {noProcess, L"14:03:27.512\t\t\tP\t\tC\t000001a4\t0000000a\tReady\r\n"},
        {Entry(L"Post", MessageKind::EnterMethod), L"14:03:27.512\tWS12\t000004d2\tBilling\tCore\tTInvoice\t000001a4\t0000000a\t-> Post\r\n"},
        {Entry(L"Post", MessageKind::ExitMethod), L"14:03:27.512\tWS12\t000004d2\tBilling\tCore\tTInvoice\t000001a4\t0000000a\t<- Post\r\n"},
        {notice, L"09:05:03.047\t\t\t\t\t\t\t\tNorvale Starting Up\r\n"},
        {Entry(L"Lines", MessageKind::Block, &block),
         L"14:03:27.512\tWS12\t000004d2\tBilling\tCore\tTInvoice\t000001a4\t0000000a\tLines\r\n"
         L"\t\t\t\t\t\t\t\tfirst\r\n\t\t\t\t\t\t\t\tsecond\r\n"},
    };
    TTraceStore store(10);
    for (const auto& [entry, expected] : rows) {
        store.Clear();
        store.Append(entry);
        EXPECT_EQ(test::KeptText(store), expected);
    }
}

TEST(TraceRowTextTest, StyleFollowsTheKindAndABlockSharesItsEntrys) {
    const std::pair<MessageKind, TraceRowStyle> kinds[] = {
        {MessageKind::Plain, TraceRowStyle::Plain},        {MessageKind::Block, TraceRowStyle::Plain},
        {MessageKind::Notice, TraceRowStyle::Notice},      {MessageKind::EnterMethod, TraceRowStyle::Method},
        {MessageKind::ExitMethod, TraceRowStyle::Method},  {MessageKind::Code1, TraceRowStyle::Code1},
        {MessageKind::Code2, TraceRowStyle::Code2},
    };
    const TBlockLines block = TBlockLines::FromText(L"a\nb");
    TTraceStore store(3);
    for (const auto& [kind, style] : kinds) {
        store.Append(Entry(L"x", kind, &block));
        store.Read([&, style = style](const TTraceRows& rows) {
            for (uint64_t row = rows.First(); row < rows.End(); ++row) {
                EXPECT_EQ(rows.Style(row), style);
                EXPECT_EQ(rows.EntryOf(row), rows.First());
            }
        });
    }
}

}  // namespace
}  // namespace norvale
