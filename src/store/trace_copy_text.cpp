#include "store/trace_copy_text.h"

#include <algorithm>

namespace norvale {

void AppendRowsText(std::wstring& text, const TTraceRows& rows, std::span<const uint64_t> rowNumbers) {
    for (const uint64_t row : rowNumbers) {
        if (row >= rows.First() && row < rows.End()) AppendRowLine(text, rows.Fields(row));
    }
}

bool TTraceCopy::Step(const TTraceStore& store, size_t rowBudget) {
    store.Read([&](const TTraceRows& rows) {
        const size_t before = text_.size();
        const size_t stop = std::min(rows_.size(), done_ + rowBudget);
        for (; done_ < stop && text_.size() - before < TTraceStore::kCharsPerRead; ++done_) {
            AppendRowsText(text_, rows, std::span(rows_).subspan(done_, 1));
        }
    });
    return done_ == rows_.size();
}

unsigned TTraceCopy::Percent() const {
    return rows_.empty() ? 0 : static_cast<unsigned>(std::min<size_t>(99, done_ * 100 / rows_.size()));
}

}  // namespace norvale
