#pragma once

#include <cstdint>
#include <functional>

namespace norvale {

// Whether the user wants to close although client objects are alive.
using CloseConfirmation = std::function<bool()>;

// The user's request to close the server (the tray's Close, the properties
// dialog's "Kill Norvale"), on the main thread: with counted objects alive the
// user confirms first; then the main thread's message loop ends. Gives whether
// it does.
bool RequestTerminate(int32_t objectCount, const CloseConfirmation& confirm);

// The "COM Server Warning" box: Yes closes, No (the default) keeps serving.
bool ConfirmCloseWithLiveObjects();

}  // namespace norvale
