#include "tests_support/process_windows.h"

#ifdef _WIN32

namespace norvale::test {

namespace {

struct Search {
    DWORD processId;
    const std::string& className;
    const std::optional<std::string>& caption;
    bool visibleOnly;
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (owner != search.processId || search.className != className) return TRUE;
    if (search.visibleOnly && !IsWindowVisible(window)) return TRUE;
    if (search.caption) {
        char caption[256] = {};
        GetWindowTextA(window, caption, sizeof caption);
        if (*search.caption != caption) return TRUE;
    }
    search.found = window;
    return FALSE;
}

}  // namespace

HWND FindProcessWindow(DWORD processId, const std::string& className, const std::optional<std::string>& caption,
                       bool visibleOnly) {
    Search search{processId, className, caption, visibleOnly};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace norvale::test

#endif
