#include "tests_support/message_box.h"

#include "tests_support/process_windows.h"

#ifdef _WIN32

namespace norvale::test {

namespace {

std::string TextOf(HWND window) {
    char text[2048] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

}  // namespace

HWND WaitForMessageBox(DWORD processId, const std::string& caption, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        if (HWND box = FindProcessWindow(processId, "#32770", caption, true)) return box;
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
