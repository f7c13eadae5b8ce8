#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace norvale {

// Exactly 8 lower-case hexadecimal digits, two's complement, no prefix.
std::string HexText(uint32_t value);

// The same, appended to `text` without a string of its own (for hot paths).
void AppendHexText(std::string& text, uint32_t value);

// Decimal, right-aligned in `width` characters with zeros; wider numbers are
// not cut.
std::string ZeroPad(uint16_t value, int width);
void AppendZeroPad(std::string& text, uint16_t value, int width);

// Replaces every occurrence of `pattern`, scanning left to right; the scan
// resumes after the inserted text, so a replacement is never rescanned.
void ReplaceAll(std::string& text, std::string_view pattern, std::string_view replacement);

const char* YesNoText(bool flag);

// The part after the last backslash, else after the last colon, else the
// whole path; at most 255 characters (bytes, or UTF-16 units of a wide path).
std::string FileNameOfPath(std::string_view path);
std::wstring FileNameOfPath(std::wstring_view path);

// Everything up to and including the last backslash or colon; empty when the
// path has neither.
std::string PathPartOfPath(std::string_view path);
std::wstring PathPartOfPath(std::wstring_view path);

// ASCII A to Z only; other bytes of the code page stay as they are.
std::string AsciiLowerCase(std::string_view text);

// Without the space characters at either end; a tab or line break stays.
std::string_view TrimSpaces(std::string_view text);

// The entries of a list the user separates by ";", each without the spaces
// around it; empty entries are left out.
std::vector<std::string_view> ListEntries(std::string_view text);

}  // namespace norvale
