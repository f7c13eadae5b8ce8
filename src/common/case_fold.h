#pragma once

// Case-insensitive matching for texts in any script: each UTF-16 code unit
// folds on its own (simple mappings, no "ß" to "ss"), which is what a search
// box needs and costs one table look-up per character.

#include <array>
#include <string>

namespace norvale {

// Every BMP code unit's fold: its upper case's lower case, as the system maps
// them, so that "ς", "σ" and "Σ" (or "K", "k" and the Kelvin sign) meet.
// Surrogates fold to themselves.
using CaseFoldTable = std::array<char16_t, 0x10000>;

// Made once from the platform's case mappings; throws ENorvaleError when the
// platform has none.
void FillCaseFoldTable(CaseFoldTable& table);

// In place from `from` on, one code unit for one; units above the BMP (only
// where wchar_t is 32-bit) stay as they are.
void FoldCase(std::wstring& text, size_t from = 0);

}  // namespace norvale
