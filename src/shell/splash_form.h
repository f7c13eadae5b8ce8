#pragma once

#include <windows.h>

#include <string>

#include "common/win32_resources.h"
#include "common/window_win32.h"

namespace norvale {

// `TSplashForm`: a borderless, topmost window centred on the screen that
// shows a picture while the program starts. Its close timer, once enabled,
// destroys the window at its first tick the message loop handles; the object
// stays and its `Handle()` is null from then on, so whoever holds it need
// not know when that happened.
class TSplashForm : public TWindow {
public:
    ~TSplashForm() override;

    // Takes the long version text, shows the window and paints it at once,
    // before the start-up goes on.
    virtual void ShowSplash();

    // What `lbl_Version` holds.
    const std::string& VersionText() const { return lbl_Version_; }

    static constexpr UINT kCloseMilliseconds = 5000;

protected:
    // The client area in pixels at 96 dots per inch.
    TSplashForm(int clientWidth, int clientHeight, bool closeTimerEnabled);

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void FormShow();
    void tim_CloseTimer();

private:
    void Paint();

    UniqueGdiObject img_Splash_;
    std::string lbl_Version_;
    bool tim_CloseEnabled_ = false;
};

// The splash of Norvale: the logo alone, 461 by 163, closing itself five
// seconds after it is made (or at the first tick the loop handles after that).
class TNorvaleSplashForm final : public TSplashForm {
public:
    TNorvaleSplashForm();
};

}  // namespace norvale
