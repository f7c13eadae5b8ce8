#include "store/trace_row_slot.h"

#include <algorithm>

namespace norvale {

namespace {

constexpr uint32_t kMillisecondsPerSecond = 1000;
constexpr uint32_t kMillisecondsPerMinute = 60 * kMillisecondsPerSecond;
constexpr uint32_t kMillisecondsPerHour = 60 * kMillisecondsPerMinute;
// The class's length, in 16-bit halves whatever the size of wchar_t.
constexpr size_t kClassLengthUnits = 2;

uint32_t MillisecondOfDay(const TimeOfDay& time) {
    return time.hour * kMillisecondsPerHour + time.minute * kMillisecondsPerMinute +
           time.second * kMillisecondsPerSecond + time.millisecond;
}

TimeOfDay TimeOfMillisecond(uint32_t millisecond) {
    return TimeOfDay{static_cast<uint16_t>(millisecond / kMillisecondsPerHour),
                     static_cast<uint16_t>(millisecond / kMillisecondsPerMinute % 60),
                     static_cast<uint16_t>(millisecond / kMillisecondsPerSecond % 60),
                     static_cast<uint16_t>(millisecond % kMillisecondsPerSecond)};
}

}  // namespace

void TTraceRowSlot::Assign(const TraceEntry& entry, std::wstring_view text, uint32_t rowInEntry, bool timeless) {
    const bool first = rowInEntry == 0;
    const bool ownClass = first && entry.source && entry.className != entry.source->Class;
    const std::wstring_view className = ownClass ? entry.className : std::wstring_view();
    const size_t length = text.size() + (ownClass ? kClassLengthUnits + className.size() : 0);
    std::unique_ptr<wchar_t[]> chars;
    if (length != 0) {
        chars = std::make_unique_for_overwrite<wchar_t[]>(length);
        wchar_t* at = std::copy(text.begin(), text.end(), chars.get());
        if (ownClass) {
            const auto classLength = static_cast<uint32_t>(className.size());
            *at++ = static_cast<wchar_t>(classLength & 0xFFFF);
            *at++ = static_cast<wchar_t>(classLength >> 16);
            std::copy(className.begin(), className.end(), at);
        }
    }
    chars_ = std::move(chars);
    source_ = first ? entry.source : nullptr;
    messageLength_ = static_cast<uint32_t>(text.size());
    rowInEntry_ = rowInEntry;
    millisecondOfDay_ = MillisecondOfDay(entry.time.time);
    year_ = entry.time.year;
    month_ = entry.time.month;
    day_ = entry.time.day;
    timeless_ = timeless;
    threadId_ = entry.threadId;
    code_ = entry.code;
    kind_ = static_cast<uint32_t>(entry.kind);
    ownClass_ = ownClass;
}

void TTraceRowSlot::Reset() noexcept {
    chars_.reset();
    source_.reset();
    messageLength_ = 0;
    ownClass_ = 0;
}

TraceRowFields TTraceRowSlot::Fields() const {
    TraceRowFields fields;
    fields.source = source_.get();
    fields.message = std::wstring_view(chars_.get(), messageLength_);
    if (ownClass_) {
        const wchar_t* lengthAt = chars_.get() + messageLength_;
        const uint32_t classLength =
            static_cast<uint32_t>(static_cast<uint16_t>(lengthAt[0])) | static_cast<uint32_t>(static_cast<uint16_t>(lengthAt[1])) << 16;
        fields.className = std::wstring_view(lengthAt + kClassLengthUnits, classLength);
    } else if (source_) {
        fields.className = source_->Class;
    }
    fields.time = LocalDateTime{static_cast<uint16_t>(year_), static_cast<uint16_t>(month_),
                                static_cast<uint16_t>(day_), TimeOfMillisecond(millisecondOfDay_)};
    fields.timeless = timeless_ != 0;
    fields.threadId = threadId_;
    fields.code = code_;
    fields.kind = static_cast<MessageKind>(kind_);
    fields.continuation = rowInEntry_ != 0;
    return fields;
}

size_t TTraceRowSlot::Bytes() const noexcept {
    const TraceRowFields fields = Fields();
    size_t units = fields.message.size() + (ownClass_ ? kClassLengthUnits + fields.className.size() : 0);
    if (source_) units += source_->Project.size() + source_->Module.size() + source_->Class.size() + source_->Machine.size();
    return units * sizeof(wchar_t);
}

}  // namespace norvale
