#pragma once

// UTF-8 made in plain code, the same on every platform and for every text:
// the system's converters differ between versions in what they make of a
// lone surrogate, and a trace line must never be cut or lost for one.

#include <cstddef>
#include <string>
#include <string_view>

namespace norvale {

// A lone surrogate becomes U+FFFD. Embedded NULs are kept.
std::string WideToUtf8(std::wstring_view text);
void AppendUtf8(std::string& into, std::wstring_view text);

// Bytes that are no UTF-8 become U+FFFD, one for each bad sequence.
std::wstring Utf8ToWide(std::string_view text);

// Whether every byte belongs to a well-formed UTF-8 sequence.
bool IsUtf8(std::string_view text);

// 8-bit text of the system code page as UTF-8; ASCII passes unchanged.
std::string AnsiToUtf8(std::string_view text);

// Characters (code points), not bytes, of a valid UTF-8 text.
size_t Utf8Length(std::string_view text);

}  // namespace norvale
