#include "forward/syslog_message.h"

#include "common/text.h"
#include "common/utf8_text.h"
#include "output/formatting.h"

namespace norvale {

namespace {

constexpr uint8_t kFacilityUser = 1;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// RFC 5424 allows at most this many characters in HOSTNAME.
constexpr size_t kMaxHostName = 255;

const char* MessageIdOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Notice: return "notice";
        case MessageKind::EnterMethod: return "enter";
        case MessageKind::ExitMethod: return "exit";
        case MessageKind::Block: return "block";
        case MessageKind::Crash: return "crash";
        default: return "msg";
    }
}

void AppendTwoDigits(std::string& into, unsigned value) {
    into += static_cast<char>('0' + value / 10 % 10);
    into += static_cast<char>('0' + value % 10);
}

// 2026-12-08T14:03:27.512+01:00
void AppendTimestamp(std::string& into, const LocalDateTime& time, int utcOffsetMinutes) {
    AppendZeroPad(into, time.year, 4);
    into += '-';
    AppendTwoDigits(into, time.month);
    into += '-';
    AppendTwoDigits(into, time.day);
    into += 'T';
    AppendTwoDigits(into, time.time.hour);
    into += ':';
    AppendTwoDigits(into, time.time.minute);
    into += ':';
    AppendTwoDigits(into, time.time.second);
    into += '.';
    AppendZeroPad(into, time.time.millisecond, 3);
    into += utcOffsetMinutes < 0 ? '-' : '+';
    const unsigned offset = static_cast<unsigned>(utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes);
    AppendTwoDigits(into, offset / 60);
    into += ':';
    AppendTwoDigits(into, offset % 60);
}

// Printable ASCII without spaces, as RFC 5424 allows it: anything else is "_".
std::string HostNameOf(std::wstring_view machine, std::string_view computerName) {
    std::string name;
    if (machine.empty()) {
        name = computerName;
    } else {
        for (const wchar_t c : machine) {
            // The second half of a surrogate pair adds nothing: one character, one "_".
            if (c >= 0xDC00 && c <= 0xDFFF) continue;
            name += c > 32 && c < 127 ? static_cast<char>(c) : '_';
        }
    }
    for (char& c : name) {
        if (c <= 32 || c >= 127) c = '_';
    }
    if (name.size() > kMaxHostName) name.resize(kMaxHostName);
    return name.empty() ? "-" : name;
}

// At most `kMaxParameter` bytes, cut before a character and marked.
std::string CutParameter(std::string value) {
    if (value.size() <= kMaxParameter) return value;
    constexpr std::string_view kMark = "\xE2\x80\xA6";
    size_t end = kMaxParameter - kMark.size();
    while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) --end;
    value.resize(end);
    value += kMark;
    return value;
}

// A PARAM-VALUE: UTF-8 with '"', '\' and ']' escaped by a backslash.
void AppendParameter(std::string& into, std::string_view name, std::wstring_view value) {
    into += ' ';
    into += name;
    into += "=\"";
    for (const char c : CutParameter(WideToUtf8(value))) {
        if (c == '"' || c == '\\' || c == ']') into += '\\';
        into += c;
    }
    into += '"';
}

void AppendHeader(std::string& into, SyslogSeverity severity, const LocalDateTime& time, int utcOffsetMinutes,
                  std::string_view hostName, uint32_t processId, const char* messageId) {
    into += '<';
    into += std::to_string(kFacilityUser * 8 + static_cast<uint8_t>(severity));
    into += ">1 ";
    AppendTimestamp(into, time, utcOffsetMinutes);
    into += ' ';
    into += hostName;
    into += " Norvale ";
    into += processId == 0 ? "-" : std::to_string(processId);
    into += ' ';
    into += messageId;
}

void AppendData(std::string& into, const TraceSource* source, std::wstring_view className, int32_t threadId,
                int32_t code) {
    into += " [norvale@32473";
    AppendParameter(into, "project", source != nullptr ? std::wstring_view(source->Project) : std::wstring_view());
    AppendParameter(into, "module", source != nullptr ? std::wstring_view(source->Module) : std::wstring_view());
    AppendParameter(into, "class", className);
    into += " thread=\"" + HexText(static_cast<uint32_t>(threadId)) + "\"";
    into += " code=\"" + HexText(static_cast<uint32_t>(code)) + "\"]";
}

}  // namespace

ForwardedEntry ForwardedEntryOf(const TraceEntry& entry, size_t mostCharacters) {
    ForwardedEntry forwarded{entry.source,
                             std::wstring(entry.className),
                             entry.threadId,
                             entry.code,
                             entry.kind,
                             entry.time,
                             std::wstring(entry.text.substr(0, mostCharacters)),
                             {}};
    if (entry.block == nullptr) return forwarded;
    const std::vector<std::wstring>& lines = entry.block->Wide();
    if (mostCharacters == SIZE_MAX) {
        forwarded.lines = lines;
        return forwarded;
    }
    size_t characters = forwarded.text.size();
    for (const std::wstring& line : lines) {
        if (characters >= mostCharacters) break;
        forwarded.lines.push_back(line.substr(0, mostCharacters - characters));
        characters += line.size() + 1;
    }
    return forwarded;
}

size_t ForwardedBytes(const ForwardedEntry& entry) {
    size_t bytes = sizeof entry + (entry.className.capacity() + entry.text.capacity()) * sizeof(wchar_t);
    for (const std::wstring& line : entry.lines) bytes += sizeof line + line.capacity() * sizeof(wchar_t);
    return bytes;
}

SyslogSeverity SeverityOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Crash: return SyslogSeverity::Error;
        case MessageKind::Notice: return SyslogSeverity::Notice;
        case MessageKind::EnterMethod:
        case MessageKind::ExitMethod: return SyslogSeverity::Debug;
        default: return SyslogSeverity::Informational;
    }
}

std::string FormatSyslogMessage(const ForwardedEntry& entry, int utcOffsetMinutes, const SyslogOrigin& origin) {
    const TraceSource* source = entry.source.get();
    std::string message;
    AppendHeader(message, SeverityOf(entry.kind), entry.time, utcOffsetMinutes,
                 HostNameOf(source != nullptr ? std::wstring_view(source->Machine) : std::wstring_view(),
                            origin.computerName),
                 source != nullptr ? static_cast<uint32_t>(source->ProcessID) : 0, MessageIdOf(entry.kind));
    AppendData(message, source, entry.className, entry.threadId, entry.code);
    message += ' ';
    message += kByteOrderMark;
    if (entry.kind == MessageKind::EnterMethod) message += kEnterMarker;
    if (entry.kind == MessageKind::ExitMethod) message += kExitMarker;
    AppendUtf8(message, entry.text);
    for (const std::wstring& line : entry.lines) {
        message += '\n';
        AppendUtf8(message, line);
    }
    return message;
}

std::string FormatDroppedNotice(uint64_t dropped, const LocalDateTime& time, int utcOffsetMinutes,
                                const SyslogOrigin& origin) {
    std::string message;
    AppendHeader(message, SyslogSeverity::Warning, time, utcOffsetMinutes, HostNameOf({}, origin.computerName), 0,
                 MessageIdOf(MessageKind::Notice));
    AppendData(message, nullptr, {}, 0, 0);
    message += ' ';
    message += kByteOrderMark;
    message += "Norvale: " + std::to_string(dropped) + " messages dropped while the collector was unreachable";
    return message;
}

std::string FramedForTcp(std::string_view message) {
    std::string framed = std::to_string(message.size());
    framed += ' ';
    framed += message;
    return framed;
}

bool CutForDatagram(std::string& message) {
    if (message.size() <= kMaxDatagram) return false;
    size_t end = kMaxDatagram;
    // Back to the start of the character the cut would split.
    while (end > 0 && (static_cast<unsigned char>(message[end]) & 0xC0) == 0x80) --end;
    message.resize(end);
    return true;
}

}  // namespace norvale
