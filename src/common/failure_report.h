#pragma once

#include <windows.h>

#include <string>

namespace norvale {

// Shows a failure to the user in a message box with a stop icon. With the
// environment variable NORVALE_NO_DIALOGS set (the tests set it), the text
// goes to standard error instead, so nothing waits for a click.
void ReportFailure(const char* caption, const std::string& text);

}  // namespace norvale
