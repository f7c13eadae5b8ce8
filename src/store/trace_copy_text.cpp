#include "store/trace_copy_text.h"

namespace norvale {

void AppendRowsText(std::wstring& text, const TTraceRows& rows, std::span<const uint64_t> rowNumbers) {
    for (const uint64_t row : rowNumbers) {
        if (row >= rows.First() && row < rows.End()) AppendRowLine(text, rows.Fields(row));
    }
}

}  // namespace norvale
