#include "tests_support/message_box.h"

#ifdef _WIN32

namespace norvale::test {

namespace {

struct Search {
    DWORD processId;
    const std::string& caption;
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char text[256] = {};
    char className[64] = {};
    GetWindowTextA(window, text, sizeof text);
    GetClassNameA(window, className, sizeof className);
    if (owner == search.processId && IsWindowVisible(window) && search.caption == text &&
        std::string(className) == "#32770") {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

std::string TextOf(HWND window) {
    char text[2048] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

}  // namespace

HWND WaitForMessageBox(DWORD processId, const std::string& caption, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        Search search{processId, caption};
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(50);
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
}

std::string DescribeMessageBox(HWND box) {
    // The text is the static control 0xFFFF; the buttons carry the ids of
    // the answers.
    std::string description = TextOf(GetDlgItem(box, 0xFFFF)) + "|";
    const char* separator = "";
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
        HWND button = GetDlgItem(box, id);
        if (button == nullptr) continue;
        description += separator + TextOf(button);
        if ((GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) description += "(default)";
        separator = ",";
    }
    return description;
}

void AnswerMessageBox(HWND box, int button) { SendMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0); }

}  // namespace norvale::test

#endif
