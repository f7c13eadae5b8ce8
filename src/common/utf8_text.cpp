#include "common/utf8_text.h"

#include <algorithm>
#include <iterator>

#include "common/ansi_text.h"

namespace norvale {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendCodePoint(std::string& into, char32_t c) {
    if (c < 0x80) {
        into += static_cast<char>(c);
    } else if (c < 0x800) {
        into += static_cast<char>(0xC0 | (c >> 6));
        into += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        into += static_cast<char>(0xE0 | (c >> 12));
        into += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        into += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        into += static_cast<char>(0xF0 | (c >> 18));
        into += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        into += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        into += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A wide character is a UTF-16 unit on Windows and a whole code point
// elsewhere; surrogate pairs are joined wherever they occur.
void AppendWide(std::wstring& into, char32_t c) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            into += static_cast<wchar_t>(0xD800 + (c >> 10));
            into += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
            return;
        }
    }
    into += static_cast<wchar_t>(c);
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The code point starting at `text[i]`, advancing `i` past it; a bad
// sequence gives U+FFFD, and the byte that broke it starts the next.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) return lead;
    // The sequence's length, the bits its lead byte carries and the least
    // code point it may encode (a longer form of a smaller one is bad).
    struct Form {
        unsigned char first, last;
        size_t more;
        unsigned char bits;
        char32_t least;
    };
    static constexpr Form kForms[] = {
        {0xC2, 0xDF, 1, 0x1F, 0x80}, {0xE0, 0xEF, 2, 0x0F, 0x800}, {0xF0, 0xF4, 3, 0x07, 0x10000}};
    const Form* form = std::find_if(std::begin(kForms), std::end(kForms),
                                    [&](const Form& f) { return lead >= f.first && lead <= f.last; });
    if (form == std::end(kForms)) return kReplacement;
    const size_t more = form->more;
    const char32_t least = form->least;
    char32_t c = lead & form->bits;
    for (size_t k = 0; k < more; ++k) {
        if (i == text.size() || !IsContinuation(static_cast<unsigned char>(text[i]))) return kReplacement;
        c = (c << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    }
    if (c < least || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c)) return kReplacement;
    return c;
}

}  // namespace

void AppendUtf8(std::string& into, std::wstring_view text) {
    into.reserve(into.size() + text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF) {
            c = kReplacement;
        }
        AppendCodePoint(into, c);
    }
}

std::string WideToUtf8(std::wstring_view text) {
    std::string result;
    AppendUtf8(result, text);
    return result;
}

std::wstring Utf8ToWide(std::string_view text) {
    std::wstring result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size();) AppendWide(result, DecodeUtf8(text, i));
    return result;
}

// U+FFFD decodes as the replacement too, from its own three bytes.
bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t start = i;
        if (DecodeUtf8(text, i) == kReplacement && text.substr(start, i - start) != "\xEF\xBF\xBD") return false;
    }
    return true;
}

std::string AnsiToUtf8(std::string_view text) {
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return std::string(text);
    return WideToUtf8(AnsiToWide(text));
}

size_t Utf8Length(std::string_view text) {
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuation(static_cast<unsigned char>(c)); }));
}

}  // namespace norvale
