#include "app/terminate_request.h"

#include <windows.h>

namespace norvale {

namespace {

constexpr const char* kComServerWarning =
    "There are still active COM objects in this application.  One or more clients may have references to these "
    "objects, so manually closing this application may cause those client application(s) to fail.\r\n\r\n"
    "Are you sure you want to close this application?";

}  // namespace

bool RequestTerminate(int32_t objectCount, const CloseConfirmation& confirm) {
    if (objectCount > 0 && !confirm()) return false;
    PostQuitMessage(0);
    return true;
}

bool ConfirmCloseWithLiveObjects() {
    return MessageBoxA(nullptr, kComServerWarning, "COM Server Warning",
                       MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING | MB_TASKMODAL) == IDYES;
}

}  // namespace norvale
