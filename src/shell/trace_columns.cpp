#include "shell/trace_columns.h"

#include <algorithm>
#include <cstdlib>

namespace norvale {

TraceColumnLayout DefaultColumnLayout() {
    constexpr int kWidths[kTraceListColumns] = {76, 70, 64, 70, 70, 80, 64, 64, 400, 56, 28};
    TraceColumnLayout layout{};
    for (size_t i = 0; i < kTraceListColumns; ++i) layout[i] = {kWidths[i], i != kDeltaColumn};
    return layout;
}

TraceColumnLayout ColumnLayoutFromText(std::string_view stored, const TraceColumnLayout& defaults) {
    TraceColumnLayout layout = defaults;
    for (size_t i = 0; i < layout.size() && !stored.empty(); ++i) {
        const size_t comma = std::min(stored.find(','), stored.size());
        const std::string number(stored.substr(0, comma));
        stored.remove_prefix(std::min(comma + 1, stored.size()));
        char* end = nullptr;
        const long value = std::strtol(number.c_str(), &end, 10);
        if (end == number.c_str() || *end != '\0' || value == 0 || std::labs(value) >= 10000) continue;
        layout[i] = {static_cast<int>(std::labs(value)), value > 0};
    }
    return layout;
}

std::string ColumnLayoutText(const TraceColumnLayout& layout) {
    std::string text;
    for (const TraceColumnWidth& column : layout) {
        if (!text.empty()) text += ',';
        text += std::to_string(column.shown ? column.width : -column.width);
    }
    return text;
}

TraceColumnLayout FitColumnsToList(TraceColumnLayout wanted, int listWidth, int minimum) {
    const auto isOther = [&wanted](size_t i) { return i != static_cast<size_t>(TraceColumn::Message) && wanted[i].shown; };
    int others = 0;
    for (size_t i = 0; i < wanted.size(); ++i) others += isOther(i) ? wanted[i].width : 0;
    if (others > 0 && others > listWidth - minimum) {
        const double share = std::max(0.5, static_cast<double>(listWidth - minimum) / others);
        others = 0;
        for (size_t i = 0; i < wanted.size(); ++i) {
            if (!isOther(i)) continue;
            wanted[i].width = static_cast<int>(wanted[i].width * share);
            others += wanted[i].width;
        }
    }
    wanted[static_cast<size_t>(TraceColumn::Message)].width = std::max(listWidth - others, minimum);
    return wanted;
}

}  // namespace norvale
