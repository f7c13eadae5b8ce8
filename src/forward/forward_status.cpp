#include "forward/forward_status.h"

#include "common/ansi_text.h"

namespace norvale {

std::wstring ForwardCountsText(const ForwardStatus& status) {
    const ForwardCounts& counts = status.counts;
    if (!status.on && counts.sent == 0 && counts.dropped == 0) return {};
    std::wstring text = L"Syslog: " + std::to_wstring(counts.sent) + L" sent, " + std::to_wstring(counts.queued) +
                        L" queued, " + std::to_wstring(counts.dropped) + L" dropped";
    if (status.cut > 0) text += L", " + std::to_wstring(status.cut) + L" cut";
    return text;
}

PartStatusTexts ForwardStatusTexts(const ForwardStatus& status) {
    return {{ForwardCountsText(status)}, AnsiToWide(status.problem)};
}

}  // namespace norvale
