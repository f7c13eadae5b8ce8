#pragma once

// One row of the store's ring, laid out small because a window may keep a
// million of them: the texts in one exact-size block, the source shared with
// the session, the rest packed in 32-bit fields. 48 bytes on 64-bit targets.
// A call's own class is rare, so its length lives in the text block rather
// than in every slot.

#include <cstdint>
#include <memory>
#include <string_view>

#include "output/trace_entry.h"
#include "store/trace_row_text.h"

namespace norvale {

class TTraceRowSlot {
public:
    // Takes an entry's first row (`rowInEntry` 0, `text` its message) or one
    // of its further rows (`text` a line of its block). Throws bad_alloc and
    // leaves the slot as it was.
    // `timeless`: a saved trace's line that did not parse.
    void Assign(const TraceEntry& entry, std::wstring_view text, uint32_t rowInEntry, bool timeless = false);
    // Frees the texts and lets go of the source.
    void Reset() noexcept;

    TraceRowFields Fields() const;
    // What the row's texts hold, its source's names counted on the entry's
    // first row although a session's rows share them: a peer that varies its
    // names gives each entry a source of its own.
    size_t Bytes() const noexcept;
    TraceRowStyle Style() const { return StyleOfKind(static_cast<MessageKind>(kind_)); }
    // 0 for an entry's first row, n for its block's n-th line.
    uint32_t RowInEntry() const { return rowInEntry_; }

private:
    // Entries' first rows only.
    std::shared_ptr<const TraceSource> source_;
    // The message (or line), then, when the call's class is not the
    // source's, the class's length in two 16-bit halves and the class: most
    // calls use the session's class, and then the row carries no copy of it.
    std::unique_ptr<wchar_t[]> chars_;
    uint32_t messageLength_ = 0;
    uint32_t rowInEntry_ = 0;
    int32_t threadId_ = 0;
    int32_t code_ = 0;
    // A day has fewer than 2^27 milliseconds, and a kind fits in 4 bits.
    uint32_t millisecondOfDay_ : 27 = 0;
    uint32_t kind_ : 4 = 0;
    uint32_t ownClass_ : 1 = 0;
    uint32_t year_ : 16 = 0;
    uint32_t month_ : 4 = 0;
    uint32_t day_ : 5 = 0;
    uint32_t timeless_ : 1 = 0;
};

}  // namespace norvale
