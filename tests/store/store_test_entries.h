#pragma once

#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "store/trace_copy_text.h"
#include "store/trace_store.h"

namespace norvale::test {

inline const auto kBilling =
    std::make_shared<const TraceSource>(TraceSource{L"Billing", L"Core", L"TInvoice", L"WS12", 0x4D2});

inline TraceEntry Entry(std::wstring_view text, MessageKind kind = MessageKind::Plain,
                        const TBlockLines* block = nullptr) {
    TraceEntry entry;
    entry.source = kBilling;
    entry.className = kBilling->Class;
    entry.threadId = 0x1A4;
    entry.code = 10;
    entry.kind = kind;
    entry.time.time = TimeOfDay{14, 3, 27, 512};
    entry.text = text;
    entry.block = block;
    return entry;
}

// Every kept row as copied: the store's whole content in one text.
inline std::wstring KeptText(const TTraceStore& store) {
    return store.Read([](const TTraceRows& rows) {
        std::vector<uint64_t> numbers(rows.End() - rows.First());
        std::iota(numbers.begin(), numbers.end(), rows.First());
        std::wstring text;
        AppendRowsText(text, rows, numbers);
        return text;
    });
}

}  // namespace norvale::test
