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

}  // namespace norvale::test

#endif
