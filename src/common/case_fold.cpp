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

void FoldCase(std::wstring& text, size_t from) {
    const CaseFoldTable& table = Table();
    for (size_t at = from; at < text.size(); ++at) {
        wchar_t& unit = text[at];
        const auto value = static_cast<uint32_t>(unit);
        if (value < table.size()) unit = static_cast<wchar_t>(table[value]);
    }
}

}  // namespace norvale
