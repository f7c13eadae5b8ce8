#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>

namespace norvale::test {

// A message box of another process, found and answered as a user would:
// nothing waits on a human.

// The visible box with this caption in that process, waited for up to
// `milliseconds`; none when it did not come.
HWND WaitForMessageBox(DWORD processId, const std::string& caption, DWORD milliseconds = 20000);

// "text|button,button" with the default button marked "(default)".
std::string DescribeMessageBox(HWND box);

// Clicks the button (IDOK, IDYES, IDNO, ...).
void AnswerMessageBox(HWND box, int button);

}  // namespace norvale::test

#endif
