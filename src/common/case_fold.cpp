#include "common/case_fold.h"

#include <memory>

namespace norvale {

namespace {

const CaseFoldTable& Table() {
    static const std::unique_ptr<const CaseFoldTable> table = [] {
        auto made = std::make_unique<CaseFoldTable>();
        FillCaseFoldTable(*made);
        return made;
    }();
    return *table;
}

}  // namespace

void FoldCase(std::wstring& text) {
    const CaseFoldTable& table = Table();
    for (wchar_t& unit : text) {
        const auto value = static_cast<uint32_t>(unit);
        if (value < table.size()) unit = static_cast<wchar_t>(table[value]);
    }
}

}  // namespace norvale
