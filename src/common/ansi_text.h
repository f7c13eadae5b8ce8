#pragma once

#include <string>
#include <string_view>

namespace norvale {

// UTF-16 to the system's ANSI code page; characters it cannot show become its
// default character. Embedded NULs are kept.
std::string WideToAnsi(std::wstring_view text);
std::wstring AnsiToWide(std::string_view text);

}  // namespace norvale
