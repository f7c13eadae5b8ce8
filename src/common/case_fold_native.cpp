#include <locale.h>
#include <wctype.h>

#include "common/case_fold.h"
#include "common/errors.h"
#include "common/unique_resource.h"

namespace norvale {

namespace {

struct LocaleTraits {
    using Type = locale_t;
    static Type Invalid() { return locale_t{}; }
    static bool IsValid(Type locale) { return locale != locale_t{}; }
    static void Close(Type locale) { freelocale(locale); }
};

}  // namespace

// The mappings of the C.UTF-8 locale, opened for the look-ups only: the
// process's own locale stays as it is.
void FillCaseFoldTable(CaseFoldTable& table) {
    const UniqueResource<LocaleTraits> locale(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{}));
    if (!locale) throw ENorvaleError("The C.UTF-8 locale is missing: texts cannot be compared without case.");
    for (uint32_t unit = 0; unit < table.size(); ++unit) {
        const bool surrogate = unit >= 0xD800 && unit < 0xE000;
        const wint_t folded = surrogate ? unit : towlower_l(towupper_l(unit, locale.get()), locale.get());
        table[unit] = static_cast<char16_t>(folded < 0x10000 ? folded : unit);
    }
}

}  // namespace norvale
