#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "store/trace_filter.h"
#include "shell/trace_columns.h"

namespace norvale {

// What the trace window keeps between runs, under the program's `Options`
// key: its placement in the frame (in the subkey "TraceWindow"), its column
// widths and its three filter texts. The filter texts are stored through the
// wide registry calls, so that any text the user typed comes back as it was.
class TTraceFormSettings {
public:
    // `path`: the program's key below HKEY_CURRENT_USER\Software
    // ("brantwick\Norvale"), or a test's own.
    explicit TTraceFormSettings(std::string path);

    // Whether a placement is kept, to restore.
    bool HasPlacement() const;
    void RestorePlacement(HWND window) const;
    void SavePlacement(HWND window) const;

    // Widths in pixels (`trace_columns.h`); none when none are kept.
    std::optional<TraceColumnLayout> Columns(const TraceColumnLayout& defaults) const;
    void SaveColumns(const TraceColumnLayout& layout) const;

    TraceFilterTexts Filters() const;
    void SaveFilters(const TraceFilterTexts& texts) const;

private:
    template <typename Use>
    void WithPlacement(HWND window, Use use) const;

    std::string programPath_;
    // The `Options` key below HKEY_CURRENT_USER.
    std::string path_;
};

}  // namespace norvale
