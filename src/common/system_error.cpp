#include "common/system_error.h"

#include "common/errors.h"

#ifdef _WIN32
#include "common/win32_resources.h"
#else
#include <cerrno>
#include <cstring>
#endif

namespace norvale {

#ifdef _WIN32
std::string SystemErrorMessage(uint32_t errorCode) {
    UniqueLocalMemory buffer;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        errorCode, 0, reinterpret_cast<char*>(buffer.put()), 0, nullptr);
    if (length == 0) return {};
    std::string text(static_cast<const char*>(buffer.get()), length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

uint32_t LastSystemError() { return GetLastError(); }
#else
std::string SystemErrorMessage(uint32_t errorCode) {
    return errorCode == 0 ? std::string() : std::string(std::strerror(static_cast<int>(errorCode)));
}

uint32_t LastSystemError() { return static_cast<uint32_t>(errno); }
#endif

std::string SystemErrorText(uint32_t errorCode) {
    return SystemErrorMessage(errorCode) + " (" + std::to_string(errorCode) + ")";
}

void RaiseLastOSError() {
    const uint32_t code = LastSystemError();
    if (code == 0) return;
    const std::string message = SystemErrorMessage(code);
    if (!message.empty()) throw ENorvaleError(message);
}

}  // namespace norvale
