#pragma once

#include <cstdint>
#include <string>

namespace norvale {

// The system's message text for an error code, without its trailing line
// break; empty when the system has no text for it.
std::string SystemErrorMessage(uint32_t errorCode);

// The system's message followed by the code, as in
// `The system cannot find the path specified. (3)`.
std::string SystemErrorText(uint32_t errorCode);

// The calling thread's last platform error code (GetLastError on Windows,
// errno elsewhere).
uint32_t LastSystemError();

// Raises ENorvaleError with the system message of the last error code; raises
// nothing when that code is 0 or has no message text.
void RaiseLastOSError();

}  // namespace norvale
