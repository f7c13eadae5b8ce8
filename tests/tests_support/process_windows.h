#pragma once

#ifdef _WIN32

#include <windows.h>

#include <optional>
#include <string>

namespace norvale::test {

// A top-level window of another process by its class and, when given, its
// caption; with `visibleOnly`, only a shown one. None when there is none.
HWND FindProcessWindow(DWORD processId, const std::string& className,
                       const std::optional<std::string>& caption = std::nullopt, bool visibleOnly = false);

// A control anywhere below `window` (also in child dialogs) by its
// identifier; none when there is none.
HWND FindControl(HWND window, int id);

// A window's or control's text, also of another process's window.
std::string WindowText(HWND window);

}  // namespace norvale::test

#endif
