#include "store/trace_row_text.h"

namespace norvale {

namespace {

void AppendDigits(std::wstring& text, unsigned value, int width) {
    wchar_t digits[3];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    }
    text.append(digits, static_cast<size_t>(width));
}

void AppendTime(std::wstring& text, const TimeOfDay& time) {
    AppendDigits(text, time.hour, 2);
    text += L':';
    AppendDigits(text, time.minute, 2);
    text += L':';
    AppendDigits(text, time.second, 2);
    text += L'.';
    AppendDigits(text, time.millisecond, 3);
}

void AppendHex(std::wstring& text, int32_t value) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    auto bits = static_cast<uint32_t>(value);
    wchar_t digits[8];
    for (int i = 7; i >= 0; --i) {
        digits[i] = kDigits[bits & 0xF];
        bits >>= 4;
    }
    text.append(digits, 8);
}

void AppendHexUnlessZero(std::wstring& text, int32_t value) {
    if (value != 0) AppendHex(text, value);
}

void AppendMessage(std::wstring& text, const TraceRowFields& row) {
    if (!row.continuation && row.kind == MessageKind::EnterMethod) text += L"-> ";
    if (!row.continuation && row.kind == MessageKind::ExitMethod) text += L"<- ";
    text += row.message;
}

}  // namespace

TraceRowStyle StyleOfKind(MessageKind kind) {
    switch (kind) {
        case MessageKind::Notice: return TraceRowStyle::Notice;
        case MessageKind::EnterMethod:
        case MessageKind::ExitMethod: return TraceRowStyle::Method;
        case MessageKind::Code1: return TraceRowStyle::Code1;
        case MessageKind::Code2: return TraceRowStyle::Code2;
        default: return TraceRowStyle::Plain;
    }
}

void AppendColumnText(std::wstring& text, const TraceRowFields& row, TraceColumn column) {
    if (column == TraceColumn::Message) return AppendMessage(text, row);
    if (row.continuation) return;
    if (column == TraceColumn::Time) {
        if (!row.timeless) AppendTime(text, row.time.time);
        return;
    }
    const TraceSource* source = row.source;
    if (source == nullptr) return;
    switch (column) {
        case TraceColumn::Machine: text += source->Machine; break;
        case TraceColumn::Process: AppendHexUnlessZero(text, source->ProcessID); break;
        case TraceColumn::Project: text += source->Project; break;
        case TraceColumn::Module: text += source->Module; break;
        case TraceColumn::Class: text += row.className; break;
        case TraceColumn::Thread: AppendHexUnlessZero(text, row.threadId); break;
        case TraceColumn::Code: AppendHex(text, row.code); break;
        case TraceColumn::Time:
        case TraceColumn::Message: break;
    }
}

void AppendRowLine(std::wstring& text, const TraceRowFields& row) {
    for (size_t column = 0; column < kTraceColumnCount; ++column) {
        if (column != 0) text += L'\t';
        AppendColumnText(text, row, static_cast<TraceColumn>(column));
    }
    text += L"\r\n";
}

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil).
int64_t MillisecondsOf(const LocalDateTime& time) {
    const int64_t year = static_cast<int64_t>(time.year) - (time.month <= 2 ? 1 : 0);
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t monthFromMarch = (static_cast<int64_t>(time.month) + 9) % 12;
    const int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + time.day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int64_t days = era * 146097 + dayOfEra - 719468;
    return ((days * 24 + time.time.hour) * 60 + time.time.minute) * 60000 + time.time.second * 1000 +
           time.time.millisecond;
}

void AppendDeltaText(std::wstring& text, const TraceRowFields* previous, const TraceRowFields& row) {
    if (previous == nullptr || row.continuation || row.timeless || previous->timeless) return;
    text += std::to_wstring(MillisecondsOf(row.time) - MillisecondsOf(previous->time));
}

}  // namespace norvale
