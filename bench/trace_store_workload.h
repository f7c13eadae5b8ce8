#pragma once

// The trace window's store as the benchmarks fill it: a busy client's
// entries, repeated, in a window of a million rows.

#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "output/formatting.h"
#include "output/trace_entry.h"
#include "store/trace_store.h"

namespace norvale::bench {

inline constexpr uint32_t kWindowRows = 1'000'000;
inline constexpr int kRowsPerIteration = 100'000;
inline constexpr int kDistinctEntries = 1000;

inline const auto kSource = std::make_shared<const TraceSource>(TraceSource{L"Billing", L"Core", L"TInvoice", L"WS12", 0x4D2});

// Every tenth entry a block of four lines, every seventh from a class of its
// own, as a busy client sends them.
struct Workload {
    std::vector<std::wstring> messages;
    TBlockLines block = TBlockLines::FromText(L"Amount 1200.00\r\nTax 228.00\r\nTotal 1428.00\r\nDue 2024-07-01");
    std::vector<TraceEntry> entries;
    // The rows' texts in the order the entries give them, for the floor.
    std::vector<std::wstring_view> rowTexts;

    Workload() {
        for (int i = 0; i < kDistinctEntries; ++i) {
            messages.push_back(i % 3 == 0 ? L"Ledger entry " + std::to_wstring(i) + L" failed"
                                          : L"Posting done for invoice " + std::to_wstring(40000 + i));
        }
        for (int i = 0; i < kDistinctEntries; ++i) {
            TraceEntry& entry = entries.emplace_back();
            entry.source = kSource;
            entry.className = i % 7 == 0 ? L"TLedger" : kSource->Class;
            entry.threadId = 0x1A4;
            entry.code = i % 3;
            entry.kind = i % 10 == 0 ? MessageKind::Block : MessageKindFromCode(entry.code);
            entry.time = LocalNow();
            entry.text = messages[i];
            entry.block = i % 10 == 0 ? &block : nullptr;
            rowTexts.push_back(entry.text);
            if (entry.block) rowTexts.insert(rowTexts.end(), block.Wide().begin(), block.Wide().end());
        }
    }

    size_t RowsOf(const TraceEntry& entry) const { return entry.block ? 1 + block.Wide().size() : 1; }
};

inline const Workload& TheWorkload() {
    static const Workload workload;
    return workload;
}

inline void AppendEntries(TTraceStore& store, int rows) {
    const Workload& workload = TheWorkload();
    for (size_t appended = 0, i = 0; appended < static_cast<size_t>(rows); ++i) {
        const TraceEntry& entry = workload.entries[i % workload.entries.size()];
        store.Append(entry);
        appended += workload.RowsOf(entry);
    }
}

}  // namespace norvale::bench
