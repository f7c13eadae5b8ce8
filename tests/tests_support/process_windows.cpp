#include "tests_support/process_windows.h"

#ifdef _WIN32

#include <utility>

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

HWND FindControl(HWND window, int id) {
    std::pair<int, HWND> wanted(id, nullptr);
    EnumChildWindows(
        window,
        [](HWND child, LPARAM pointer) {
            auto* pair = reinterpret_cast<std::pair<int, HWND>*>(pointer);
            if (GetDlgCtrlID(child) != pair->first) return TRUE;
            pair->second = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&wanted));
    return wanted.second;
}

std::string WindowText(HWND window) {
    // WM_GETTEXT, unlike GetWindowText, reads a control of another process too.
    char text[512] = {};
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

}  // namespace norvale::test

#endif
