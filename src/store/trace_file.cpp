#include "store/trace_file.h"

#include <algorithm>

#include "common/utf8_text.h"

namespace norvale {

namespace {

constexpr int kDate = -1;
constexpr int kSkipped = -2;
// The date of a row without a time, which would otherwise read back as a
// block's further row when its other columns are empty too.
constexpr std::wstring_view kNoTime = L"-";
// Written for a row read without a date before such a row left it empty.
constexpr std::wstring_view kZeroDate = L"0000-00-00";

void AppendEscaped(std::wstring& text, std::wstring_view field) {
    for (const wchar_t c : field) {
        switch (c) {
            case L'\\': text += L"\\\\"; break;
            case L'\t': text += L"\\t"; break;
            case L'\r': text += L"\\r"; break;
            case L'\n': text += L"\\n"; break;
            default: text += c; break;
        }
    }
}

bool Unescape(std::wstring& field) {
    if (field.find(L'\\') == std::wstring::npos) return true;
    std::wstring plain;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != L'\\') {
            plain += field[i];
            continue;
        }
        if (++i == field.size()) return false;
        switch (field[i]) {
            case L'\\': plain += L'\\'; break;
            case L't': plain += L'\t'; break;
            case L'r': plain += L'\r'; break;
            case L'n': plain += L'\n'; break;
            default: return false;
        }
    }
    field = std::move(plain);
    return true;
}

void AppendNumber(std::wstring& text, unsigned value, int width) {
    std::wstring digits = std::to_wstring(value);
    if (digits.size() < static_cast<size_t>(width)) text.append(static_cast<size_t>(width) - digits.size(), L'0');
    text += digits;
}

// Digits at `at` of `text`, exactly `count` of them.
bool ReadDigits(std::wstring_view text, size_t at, size_t count, uint16_t& value) {
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        value = static_cast<uint16_t>(value * 10 + (text[i] - L'0'));
    }
    return true;
}

bool ReadDate(std::wstring_view text, LocalDateTime& time) {
    if (text.empty() || text == kNoTime || text == kZeroDate) return true;
    return text.size() == 10 && text[4] == L'-' && text[7] == L'-' && ReadDigits(text, 0, 4, time.year) &&
           ReadDigits(text, 5, 2, time.month) && ReadDigits(text, 8, 2, time.day) && time.month >= 1 &&
           time.month <= 12 && time.day >= 1 && time.day <= 31;
}

bool ReadTime(std::wstring_view text, TimeOfDay& time) {
    return text.size() == 12 && text[2] == L':' && text[5] == L':' && text[8] == L'.' &&
           ReadDigits(text, 0, 2, time.hour) && ReadDigits(text, 3, 2, time.minute) &&
           ReadDigits(text, 6, 2, time.second) && ReadDigits(text, 9, 3, time.millisecond) && time.hour < 24 &&
           time.minute < 60 && time.second < 60;
}

// Eight hexadecimal digits as the window shows them; empty for 0.
bool ReadHex(std::wstring_view text, int32_t& value) {
    value = 0;
    if (text.empty()) return true;
    if (text.size() != 8) return false;
    uint32_t bits = 0;
    for (const wchar_t c : text) {
        const int digit = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
        if (digit < 0) return false;
        bits = bits << 4 | static_cast<uint32_t>(digit);
    }
    value = static_cast<int32_t>(bits);
    return true;
}

const std::wstring& Column(const std::array<std::wstring, kTraceColumnCount>& columns, TraceColumn column) {
    return columns[static_cast<size_t>(column)];
}

}  // namespace

void AppendSavedTraceHeader(std::wstring& text) {
    text += kDateColumnName;
    for (const std::wstring_view name : kTraceColumnNames) (text += L'\t') += name;
    text += L"\r\n";
}

void AppendSavedTraceRows(std::wstring& text, const TTraceRows& rows, std::span<const uint64_t> rowNumbers) {
    std::wstring cell;
    for (const uint64_t row : rowNumbers) {
        if (row < rows.First() || row >= rows.End()) continue;
        const TraceRowFields fields = rows.Fields(row);
        if (fields.timeless && !fields.continuation) {
            text += kNoTime;
        } else if (!fields.continuation && fields.time.month != 0) {
            AppendNumber(text, fields.time.year, 4);
            text += L'-';
            AppendNumber(text, fields.time.month, 2);
            text += L'-';
            AppendNumber(text, fields.time.day, 2);
        }
        for (size_t column = 0; column < kTraceColumnCount; ++column) {
            cell.clear();
            AppendColumnText(cell, fields, static_cast<TraceColumn>(column));
            text += L'\t';
            AppendEscaped(text, cell);
        }
        text += L"\r\n";
    }
}

void TTraceFileReader::Feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        if (end == std::string_view::npos) {
            partial_ += bytes;
            return;
        }
        if (partial_.empty()) {
            Line(bytes.substr(0, end));
        } else {
            partial_ += bytes.substr(0, end);
            Line(partial_);
            partial_.clear();
        }
        bytes.remove_prefix(end + 1);
    }
}

void TTraceFileReader::Finish() {
    if (!partial_.empty()) Line(partial_);
    partial_.clear();
    Flush();
}

void TTraceFileReader::Line(std::string_view bytes) {
    if (!bytes.empty() && bytes.back() == '\r') bytes.remove_suffix(1);
    std::wstring line = Utf8ToWide(bytes);
    if (!headerLooked_) {
        headerLooked_ = true;
        if (!line.empty() && line.front() == L'\uFEFF') line.erase(0, 1);
        if (ReadHeader(line)) return;
        for (size_t column = 0; column < kTraceColumnCount; ++column) layout_.push_back(static_cast<int>(column));
    }
    ++rows_;
    TFields fields;
    if (!Split(line, fields) || !Row(fields)) Unparsed(std::move(line));
}

bool TTraceFileReader::ReadHeader(std::wstring_view line) {
    std::vector<int> layout;
    bool message = false;
    for (size_t start = 0; start <= line.size();) {
        const size_t end = std::min(line.find(L'\t', start), line.size());
        const std::wstring_view name = line.substr(start, end - start);
        const auto known = std::find(kTraceColumnNames.begin(), kTraceColumnNames.end(), name);
        layout.push_back(name == kDateColumnName            ? kDate
                         : known != kTraceColumnNames.end() ? static_cast<int>(known - kTraceColumnNames.begin())
                                                            : kSkipped);
        message = message || name == kTraceColumnNames[static_cast<size_t>(TraceColumn::Message)];
        start = end + 1;
    }
    if (!message) return false;
    layout_ = std::move(layout);
    escaped_ = true;
    return true;
}

bool TTraceFileReader::Split(std::wstring_view line, TFields& fields) const {
    size_t start = 0;
    for (size_t field = 0; field < layout_.size(); ++field) {
        const size_t end = field + 1 == layout_.size() ? line.size() : line.find(L'\t', start);
        if (end == std::wstring_view::npos) return false;
        std::wstring text(line.substr(start, end - start));
        if (field + 1 == layout_.size() && text.find(L'\t') != std::wstring::npos) return false;
        if (escaped_ && !Unescape(text)) return false;
        if (layout_[field] == kDate) {
            fields.date = std::move(text);
        } else if (layout_[field] != kSkipped) {
            fields.columns[static_cast<size_t>(layout_[field])] = std::move(text);
        }
        start = end + 1;
    }
    return true;
}

bool TTraceFileReader::Row(const TFields& fields) {
    const auto& columns = fields.columns;
    const bool onlyMessage = fields.date.empty() && std::all_of(columns.begin(), columns.end() - 1,
                                                                [](const std::wstring& c) { return c.empty(); });
    const std::wstring& message = Column(columns, TraceColumn::Message);
    if (onlyMessage && entry_) {
        lines_.push_back(message);
        return true;
    }
    TraceEntry entry;
    int32_t processId = 0;
    const bool timeless = Column(columns, TraceColumn::Time).empty();
    if (!ReadDate(fields.date, entry.time) || (!timeless && !ReadTime(Column(columns, TraceColumn::Time), entry.time.time)) ||
        !ReadHex(Column(columns, TraceColumn::Process), processId) ||
        !ReadHex(Column(columns, TraceColumn::Thread), entry.threadId) ||
        !ReadHex(Column(columns, TraceColumn::Code), entry.code)) {
        return false;
    }
    Flush();
    entry.source = SourceOf(fields, processId);
    std::wstring_view text = message;
    if (!entry.source) {
        // The server's own notices have a time; a line kept whole has none.
        entry.kind = timeless ? MessageKind::Plain : MessageKind::Notice;
    } else if (text.starts_with(L"-> ") || text.starts_with(L"<- ")) {
        entry.kind = text[0] == L'-' ? MessageKind::EnterMethod : MessageKind::ExitMethod;
        text.remove_prefix(3);
    } else {
        entry.kind = MessageKindFromCode(entry.code);
    }
    text_ = text;
    timeless_ = timeless;
    entry_ = std::move(entry);
    return true;
}

std::shared_ptr<const TraceSource> TTraceFileReader::SourceOf(const TFields& fields, int32_t processId) {
    const auto& c = fields.columns;
    const std::wstring& machine = Column(c, TraceColumn::Machine);
    const std::wstring& project = Column(c, TraceColumn::Project);
    const std::wstring& module = Column(c, TraceColumn::Module);
    const std::wstring& className = Column(c, TraceColumn::Class);
    // The server's own notices show no code; every session's rows do.
    if (machine.empty() && processId == 0 && project.empty() && module.empty() && className.empty() &&
        Column(c, TraceColumn::Code).empty()) {
        return nullptr;
    }
    auto& source = sources_[{project, module, className, machine, processId}];
    if (!source) source = std::make_shared<const TraceSource>(TraceSource{project, module, className, machine, processId});
    return source;
}

void TTraceFileReader::Unparsed(std::wstring line) {
    ++unparsed_;
    Flush();
    TraceEntry entry;
    entry.text = line;
    sink_(entry, {}, true);
}

void TTraceFileReader::Flush() {
    if (!entry_) return;
    TraceEntry& entry = *entry_;
    entry.text = text_;
    if (entry.source) entry.className = entry.source->Class;
    const bool plainKind = entry.kind == MessageKind::Plain || entry.kind == MessageKind::Code1 ||
                           entry.kind == MessageKind::Code2;
    if (!lines_.empty() && plainKind) entry.kind = MessageKind::Block;
    sink_(entry, lines_, timeless_);
    entry_.reset();
    lines_.clear();
}

}  // namespace norvale
