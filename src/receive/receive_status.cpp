#include "receive/receive_status.h"

#include "common/ansi_text.h"

namespace norvale {

PartStatusTexts ReceiveStatusTexts(const ReceiveStatus& status) {
    const ReceiveCounts& counts = status.counts;
    std::wstring text;
    if (status.on || counts.received > 0) {
        text = L"Received: " + std::to_wstring(counts.received) + L", malformed " + std::to_wstring(counts.malformed) +
               L", dropped " + std::to_wstring(counts.dropped);
        if (counts.cut > 0) text += L", " + std::to_wstring(counts.cut) + L" cut";
        if (counts.shortened > 0) {
            text += L", " + std::to_wstring(counts.shortened) + (counts.shortened == 1 ? L" block" : L" blocks") +
                    L" shortened";
        }
        if (counts.refused > 0) text += L", " + std::to_wstring(counts.refused) + L" connections refused";
    }
    return {{std::move(text)}, AnsiToWide(status.problem)};
}

}  // namespace norvale
