#include "receive/receive_status.h"

#include "common/ansi_text.h"

namespace norvale {

PartStatusTexts ReceiveStatusTexts(const ReceiveStatus& status) {
    const ReceiveCounts& counts = status.counts;
    std::wstring text;
    if (status.on || counts.received > 0) {
        text = L"Received: " + std::to_wstring(counts.received) + L", malformed " + std::to_wstring(counts.malformed) +
               L", dropped " + std::to_wstring(counts.dropped);
        const struct {
            uint64_t count;
            const wchar_t* one;
            const wchar_t* more;
        } parts[] = {
            {counts.cut, L" cut", L" cut"},
            {counts.shortened, L" block shortened", L" blocks shortened"},
            {counts.refused, L" refused", L" refused"},
            {counts.replaced, L" connection replaced", L" connections replaced"},
            {counts.madeRoom, L" connection closed to make room", L" connections closed to make room"},
            {counts.idle, L" idle connection closed", L" idle connections closed"},
        };
        for (const auto& part : parts) {
            if (part.count > 0) text += L", " + std::to_wstring(part.count) + (part.count == 1 ? part.one : part.more);
        }
    }
    return {{std::move(text)}, AnsiToWide(status.problem)};
}

}  // namespace norvale
