#include "common/ansi_text.h"

namespace norvale {

// The native build has no system code page: it stands in with Latin-1, one
// byte to one character, so that conversions there are exact and reversible.

std::string WideToAnsi(std::wstring_view text) {
    std::string result;
    result.reserve(text.size());
    for (const wchar_t c : text) result += c <= 0xFF ? static_cast<char>(c) : '?';
    return result;
}

std::wstring AnsiToWide(std::string_view text) {
    std::wstring result;
    result.reserve(text.size());
    for (const char c : text) result += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return result;
}

}  // namespace norvale
