#include "shell/splash_form.h"

#include "common/pictures_win32.h"
#include "common/version.h"
#include "shell/shell_resources.h"

namespace norvale {

namespace {

constexpr UINT_PTR kCloseTimer = 1;

}  // namespace

TSplashForm::TSplashForm(int clientWidth, int clientHeight, bool closeTimerEnabled)
    : tim_CloseEnabled_(closeTimerEnabled) {
    const int width = Scaled(clientWidth);
    const int height = Scaled(clientHeight);
    // No frame, so the window is its client area; a tool window keeps it off
    // the task bar.
    Create("TNorvaleSplashForm", WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Norvale", WS_POPUP,
           (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
           nullptr, nullptr);
    // The close time counts from creation, however long the start-up takes
    // to reach the message loop.
    if (tim_CloseEnabled_) SetTimer(Handle(), kCloseTimer, kCloseMilliseconds, nullptr);
    FormShow();
    ShowWindow(Handle(), SW_SHOWNOACTIVATE);
    UpdateWindow(Handle());
}

TSplashForm::~TSplashForm() { DestroyHandle(); }

void TSplashForm::ShowSplash() {
    lbl_Version_ = LongVersionText(OwnFileVersion());
    if (Handle() == nullptr) return;
    ShowWindow(Handle(), SW_SHOWNOACTIVATE);
    InvalidateRect(Handle(), nullptr, FALSE);
    UpdateWindow(Handle());
}

void TSplashForm::FormShow() {
    if (img_Splash_) return;
    RECT client{};
    GetClientRect(Handle(), &client);
    const int width = MulDiv(client.right, 96, Scaled(96));
    const int height = MulDiv(client.bottom, 96, Scaled(96));
    img_Splash_ = LoadScaledPicture("LOGO", MAKEINTRESOURCEA(IDB_LOGO_2X), width, height);
}

void TSplashForm::tim_CloseTimer() {
    tim_CloseEnabled_ = false;
    KillTimer(Handle(), kCloseTimer);
    // The object outlives the window: its handle turns null here.
    DestroyHandle();
}

void TSplashForm::Paint() {
    PAINTSTRUCT paint;
    const HDC target = BeginPaint(Handle(), &paint);
    RECT client{};
    GetClientRect(Handle(), &client);
    if (img_Splash_) {
        const HDC memory = CreateCompatibleDC(target);
        const HGDIOBJ before = SelectObject(memory, img_Splash_.get());
        BITMAP shape{};
        GetObjectA(img_Splash_.get(), sizeof shape, &shape);
        SetStretchBltMode(target, HALFTONE);
        StretchBlt(target, 0, 0, client.right, client.bottom, memory, 0, 0, shape.bmWidth, shape.bmHeight, SRCCOPY);
        SelectObject(memory, before);
        DeleteDC(memory);
    }
    EndPaint(Handle(), &paint);
}

LRESULT TSplashForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: Paint(); return 0;
        case WM_TIMER:
            if (wParam == kCloseTimer) {
                tim_CloseTimer();
                return 0;
            }
            break;
        default: break;
    }
    return DefaultHandling(message, wParam, lParam);
}

TNorvaleSplashForm::TNorvaleSplashForm() : TSplashForm(461, 163, true) {}

}  // namespace norvale
