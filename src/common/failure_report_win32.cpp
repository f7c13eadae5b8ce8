#include "common/failure_report.h"

namespace norvale {

void ReportFailure(const char* caption, const std::string& text) {
    if (GetEnvironmentVariableA("NORVALE_NO_DIALOGS", nullptr, 0) > 0) {
        const std::string line = std::string(caption) + ": " + text + "\r\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    MessageBoxA(nullptr, text.c_str(), caption, MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

}  // namespace norvale
