#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/case_fold.h"
#include "common/errors.h"
#include "common/system_error.h"

namespace norvale {

namespace {

// One call per range: the invariant locale maps each unit on its own, and
// a range without surrogates has no pairs whose mapping could change its
// length.
void MapRange(DWORD flags, std::vector<wchar_t>& units, uint32_t begin, uint32_t end) {
    const int count = static_cast<int>(end - begin);
    std::vector<wchar_t> mapped(static_cast<size_t>(count));
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, flags, units.data() + begin, count, mapped.data(), count, nullptr,
                      nullptr, 0) != count) {
        throw ENorvaleError("Cannot make the case folding table: " + SystemErrorText(LastSystemError()));
    }
    std::copy(mapped.begin(), mapped.end(), units.begin() + begin);
}

}  // namespace

void FillCaseFoldTable(CaseFoldTable& table) {
    std::vector<wchar_t> units(table.size());
    for (size_t unit = 0; unit < units.size(); ++unit) units[unit] = static_cast<wchar_t>(unit);
    // Linguistic rules: the default, file-system ones leave "ς", the Kelvin
    // sign and others without their other case.
    for (const DWORD flags : {LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING, LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING}) {
        MapRange(flags, units, 0, 0xD800);
        MapRange(flags, units, 0xE000, 0x10000);
    }
    for (size_t unit = 0; unit < units.size(); ++unit) table[unit] = static_cast<char16_t>(units[unit]);
}

}  // namespace norvale
