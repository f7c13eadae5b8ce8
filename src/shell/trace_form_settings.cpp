#include "shell/trace_form_settings.h"

#include <cwchar>

#include "common/ansi_text.h"
#include "config/reg_placement.h"
#include "config/registry_config.h"
#include "config/registry_values.h"

namespace norvale {

namespace {

constexpr const char* kColumnWidths = "TraceColumnWidths";
constexpr const wchar_t* kShowFilter = L"TraceShow";
constexpr const wchar_t* kHideFilter = L"TraceHide";
constexpr const wchar_t* kHighlightFilter = L"TraceHighlight";

std::wstring ReadWide(const std::string& subkey, const wchar_t* name) {
    DWORD size = 0;
    const std::wstring key = AnsiToWide(subkey);
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return {};
    }
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

void WriteWide(const std::string& subkey, const wchar_t* name, const std::wstring& text) {
    const std::wstring key = AnsiToWide(subkey);
    const LSTATUS status = RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_SZ, text.c_str(),
                                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) throw ERegistryError("cannot keep the trace window's filter", status);
}

}  // namespace

TTraceFormSettings::TTraceFormSettings(std::string path)
    : programPath_(std::move(path)), path_("Software\\" + programPath_ + "\\Options") {}

// The placement goes through the frame's own machinery, under "TraceWindow".
template <typename Use>
void TTraceFormSettings::WithPlacement(HWND window, Use use) const {
    TRegistryConfig config;
    config.SetPath(programPath_ + "\\Options");
    config.SetUser(true);
    TRegPlacement placement;
    placement.SetRegistry(&config);
    placement.SetKey("TraceWindow");
    TWin32PlacementWindow placed(window);
    placement.SetWindow(&placed);
    use(placement);
}

bool TTraceFormSettings::HasPlacement() const {
    return !ReadRegString(RegCurrentUser(), path_ + "\\TraceWindow", "ShowCmd", "").empty();
}

void TTraceFormSettings::RestorePlacement(HWND window) const {
    WithPlacement(window, [](TRegPlacement& placement) { placement.RestorePlacement(); });
}

void TTraceFormSettings::SavePlacement(HWND window) const {
    WithPlacement(window, [](TRegPlacement& placement) { placement.SavePlacement(); });
}

std::optional<TraceColumnLayout> TTraceFormSettings::Columns(const TraceColumnLayout& defaults) const {
    const std::string stored = ReadRegString(RegCurrentUser(), path_, kColumnWidths, "");
    if (stored.empty()) return std::nullopt;
    return ColumnLayoutFromText(stored, defaults);
}

void TTraceFormSettings::SaveColumns(const TraceColumnLayout& layout) const {
    WriteRegString(RegCurrentUser(), path_, kColumnWidths, ColumnLayoutText(layout));
}

TraceFilterTexts TTraceFormSettings::Filters() const {
    return TraceFilterTexts{ReadWide(path_, kShowFilter), ReadWide(path_, kHideFilter),
                            ReadWide(path_, kHighlightFilter)};
}

void TTraceFormSettings::SaveFilters(const TraceFilterTexts& texts) const {
    WriteWide(path_, kShowFilter, texts.show);
    WriteWide(path_, kHideFilter, texts.hide);
    WriteWide(path_, kHighlightFilter, texts.highlight);
}

}  // namespace norvale
