#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace norvale {

// Every failure inside the program is one of these: a message text for the
// user, and optionally an automation result code that the COM boundary hands
// back unchanged instead of E_UNEXPECTED.
class ENorvaleError : public std::runtime_error {
public:
    explicit ENorvaleError(const std::string& message, int32_t resultCode = 0)
        : std::runtime_error(message), resultCode_(resultCode) {}

    int32_t ResultCode() const { return resultCode_; }

private:
    int32_t resultCode_;
};

// The silent abort: it ends what the window thread was doing, and the
// thread's top-level handler drops it without showing anything.
class EAbort : public ENorvaleError {
public:
    using ENorvaleError::ENorvaleError;
};

// An input/output failure of a file or the console, carrying the system's
// error number.
class EInOutError : public ENorvaleError {
public:
    EInOutError(const std::string& message, uint32_t errorCode)
        : ENorvaleError(message), errorCode_(errorCode) {}

    uint32_t ErrorCode() const { return errorCode_; }

private:
    uint32_t errorCode_;
};

}  // namespace norvale
