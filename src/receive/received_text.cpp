#include "receive/received_text.h"

#include <cstdint>

namespace norvale {

namespace {

constexpr wchar_t kFirstPicture = 0x2400;
constexpr wchar_t kDeletePicture = 0x2421;
constexpr wchar_t kDelete = 0x7F;
constexpr std::wstring_view kCutMark = L"\u2026";
// The note's UTF-8 bytes with the longest count it can hold.
constexpr size_t kMostNoteBytes = 40;

bool IsControl(wchar_t c) { return (c < 0x20 && c != L'\t') || c == kDelete; }
bool IsBreak(wchar_t c) { return c == L'\r' || c == L'\n'; }

// Line breaks too, unless `keepBreaks`.
void ShowControls(std::wstring& text, bool keepBreaks) {
    for (wchar_t& c : text) {
        if (IsControl(c) && !(keepBreaks && IsBreak(c))) {
            c = c == kDelete ? kDeletePicture : static_cast<wchar_t>(kFirstPicture + c);
        }
    }
}

// CR LF and a lone CR as the line feed that the block's lines split at.
void OneKindOfBreak(std::wstring& text) {
    if (text.find(L'\r') == std::wstring::npos) return;
    size_t to = 0;
    for (size_t from = 0; from < text.size(); ++from) {
        const wchar_t c = text[from];
        if (c == L'\r' && from + 1 < text.size() && text[from + 1] == L'\n') ++from;
        text[to++] = c == L'\r' ? L'\n' : c;
    }
    text.resize(to);
}

// UTF-16 code units (a pair on Windows) of the character at `at`.
size_t UnitsAt(std::wstring_view text, size_t at) {
    const auto c = static_cast<uint32_t>(text[at]);
    const bool pair = c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size() &&
                      static_cast<uint32_t>(text[at + 1]) >= 0xDC00 && static_cast<uint32_t>(text[at + 1]) <= 0xDFFF;
    return pair ? 2 : 1;
}

// A lone surrogate is written as U+FFFD, three bytes.
size_t Utf8BytesAt(std::wstring_view text, size_t at, size_t units) {
    const auto c = static_cast<uint32_t>(text[at]);
    if (units == 2) return 4;
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

size_t Utf8Bytes(std::wstring_view text) {
    size_t bytes = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t units = UnitsAt(text, at);
        bytes += Utf8BytesAt(text, at, units);
        at += units;
    }
    return bytes;
}

std::wstring CutNote(size_t cut) {
    return std::wstring(kCutMark) + L" " + std::to_wstring(cut) + (cut == 1 ? L" more line cut" : L" more lines cut");
}

}  // namespace

std::wstring ReceivedName(std::wstring_view name, size_t most) {
    std::wstring shown(name);
    ShowControls(shown, false);
    if (Utf8Bytes(shown) <= most) return shown;
    const size_t room = most - Utf8Bytes(kCutMark);
    size_t end = 0;
    for (size_t bytes = 0; end < shown.size();) {
        const size_t units = UnitsAt(shown, end);
        bytes += Utf8BytesAt(shown, end, units);
        if (bytes > room) break;
        end += units;
    }
    shown.resize(end);
    shown += kCutMark;
    return shown;
}

void MakeTextWritable(ReceivedMessage& message) {
    const bool lines = message.kind != MessageKind::EnterMethod && message.kind != MessageKind::ExitMethod &&
                       message.kind != MessageKind::Notice;
    ShowControls(message.text, lines);
    if (!lines) return;
    ShowControls(message.further, true);
    OneKindOfBreak(message.text);
    OneKindOfBreak(message.further);
    const size_t headingEnd = message.text.find(L'\n');
    if (headingEnd == std::wstring::npos) return;
    std::wstring rest = message.text.substr(headingEnd + 1);
    message.text.resize(headingEnd);
    // A break that only ends the text ends its line, as a sender's final line
    // feed does.
    if (rest.empty() && !CarriesFurtherLines(message.kind)) return;
    if (!message.further.empty()) {
        rest += L'\n';
        rest += message.further;
    }
    message.further = std::move(rest);
    if (!CarriesFurtherLines(message.kind)) message.kind = MessageKind::Block;
}

size_t CutFurtherLines(std::wstring& further, std::wstring_view heading, size_t indent, size_t most) {
    const size_t reserve = indent + kMostNoteBytes + 2;
    size_t written = indent + Utf8Bytes(heading);
    size_t lines = 0, fitting = 0, fittingEnd = 0;
    for (size_t start = 0; start < further.size(); ++lines) {
        size_t end = further.find(L'\n', start);
        if (end == std::wstring::npos) end = further.size();
        written += indent + Utf8Bytes(std::wstring_view(further).substr(start, end - start)) + 2;
        if (written + reserve <= most) {
            ++fitting;
            fittingEnd = end;
        }
        start = end + 1;
    }
    if (written <= most || lines == 0) return 0;
    further.resize(fittingEnd);
    if (fitting > 0) further += L'\n';
    further += CutNote(lines - fitting);
    return lines - fitting;
}

}  // namespace norvale
