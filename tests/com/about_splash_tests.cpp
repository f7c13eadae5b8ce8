// The about window and the splash in the test process: the about window's
// texts, pages and links (answered by a recording opener, so no browser
// opens), how it closes; the splash's shape and when its own timer ends it.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/common_resources.h"
#include "common/window_win32.h"
#include "shell/about_form.h"
#include "shell/shell_resources.h"
#include "shell/splash_form.h"
#include "tests_support/message_pump.h"
#include "tests_support/process_windows.h"

namespace norvale {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using Texts = std::vector<std::string>;

SIZE ClientSize(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

SIZE PictureSize(HWND control) {
    const auto bitmap = reinterpret_cast<HGDIOBJ>(SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP shape{};
    if (bitmap == nullptr || GetObjectA(bitmap, sizeof shape, &shape) == 0) return {0, 0};
    return {shape.bmWidth, shape.bmHeight};
}

class AboutFormTest : public testing::Test {
protected:
    void Open(const std::string& title) {
        form_ = std::make_unique<TNorvaleAboutForm>(nullptr, title,
                                                    [this](const std::string& address) { opened_.push_back(address); });
    }
    HWND Control(int id) const { return test::FindControl(form_->Handle(), id); }
    // The user's click on a link: the notification its control sends.
    void ClickLink(int id) const {
        NMLINK click{};
        click.hdr.hwndFrom = Control(id);
        click.hdr.idFrom = static_cast<UINT_PTR>(id);
        click.hdr.code = NM_CLICK;
        SendMessageA(GetParent(Control(id)), WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&click));
    }
    int ShowPressing(int id) {
        PostMessageA(Control(id), BM_CLICK, 0, 0);
        return form_->ShowModal(nullptr);
    }

    Texts opened_;
    std::unique_ptr<TNorvaleAboutForm> form_;
};

TEST(AboutTexts, CaptionAndVersionLineFollowTheTitleAndTheVersion) {
    EXPECT_EQ(AboutCaption("Norvale"), "About Norvale...");
    EXPECT_EQ(AboutCaption("Other"), "About Other...");
    EXPECT_EQ(AboutVersionLine("Norvale", FileVersion{1, 0, 0, 1}), "Norvale Version 1.0 Release 0 Build 1");
    EXPECT_EQ(AboutVersionLine("Other", FileVersion{1, 0, 1, 65}), "Other Version 1.0 Release 1 Build 65");
}

TEST_F(AboutFormTest, CaptionAndVersionLineUseTheTitlePassedIn) {
    Open("Norvale");
    EXPECT_EQ(test::WindowText(form_->Handle()), "About Norvale...");
    // The test program has no version resource of its own.
    EXPECT_EQ(test::WindowText(Control(IDC_ABOUT_VERSION)), "Norvale Version 0.0 Release 0 Build 0");
    Open("Other");
    EXPECT_EQ(test::WindowText(form_->Handle()), "About Other...");
    EXPECT_EQ(test::WindowText(Control(IDC_ABOUT_VERSION)), "Other Version 0.0 Release 0 Build 0");
}

TEST_F(AboutFormTest, PagesTextsAndPicturesAreThere) {
    Open("Norvale");
    const SIZE client = ClientSize(form_->Handle());
    EXPECT_EQ(client.cx, Scaled(506));
    EXPECT_EQ(client.cy, Scaled(326));

    const HWND tabs = Control(IDC_PAGES);
    ASSERT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    Texts titles;
    for (int i = 0; i < 2; ++i) {
        char title[64] = {};
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = title;
        item.cchTextMax = sizeof title;
        SendMessageA(tabs, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        titles.push_back(title);
    }
    EXPECT_EQ(titles, (Texts{"Norvale", "brantwick"}));

    EXPECT_EQ(test::WindowText(Control(IDC_ABOUT_CREDITS)),
              "Written by the brantwick developer tools team.\n"
              "With thanks to all who sent us a puzzling trace.");
    EXPECT_EQ(test::WindowText(Control(IDC_ABOUT_MAKERLINK)), "<a>www.brantwick.example</a>");
    EXPECT_EQ(test::WindowText(Control(IDC_ABOUT_DEVELOPERLINK)), "<a>developer.brantwick.example</a>");
    EXPECT_EQ(test::WindowText(Control(IDC_ABOUT_HOMEPAGETEXT)),
              "For more information on Norvale, please visit the Norvale homepage at");
    EXPECT_EQ(test::WindowText(Control(IDC_ABOUT_HOMEPAGELINK)), "<a>www.brantwick.example/norvale</a>");
    EXPECT_EQ(test::WindowText(Control(IDOK)), "&Ok");
    EXPECT_EQ(test::WindowText(Control(IDCANCEL)), "&Cancel");
    EXPECT_EQ(test::WindowText(Control(IDC_APPLY)), "&Apply");

    // The pictures at the screen's scale, the logo in the 163 pixel band.
    const SIZE logo = PictureSize(Control(IDC_ABOUT_LOGO));
    EXPECT_EQ(logo.cx, Scaled(461));
    EXPECT_EQ(logo.cy, Scaled(163));
    const SIZE developer = PictureSize(Control(IDC_ABOUT_DEVELOPER));
    EXPECT_EQ(developer.cx, Scaled(130));
    EXPECT_EQ(developer.cy, Scaled(75));
    const SIZE brantwick = PictureSize(Control(IDC_ABOUT_PICTURE));
    EXPECT_EQ(brantwick.cx, Scaled(480));
    EXPECT_EQ(brantwick.cy, Scaled(164));
    RECT logoPlace{};
    GetWindowRect(Control(IDC_ABOUT_LOGO), &logoPlace);
    MapWindowPoints(nullptr, GetParent(Control(IDC_ABOUT_LOGO)), reinterpret_cast<POINT*>(&logoPlace), 2);
    const SIZE page = ClientSize(GetParent(Control(IDC_ABOUT_LOGO)));
    EXPECT_EQ(logoPlace.top, 0);
    EXPECT_LE(std::abs(logoPlace.left - (page.cx - logoPlace.right)), 1);
}

TEST_F(AboutFormTest, EveryLinkOpensItsAddressAndThePictureShowsAHand) {
    Open("Norvale");
    ClickLink(IDC_ABOUT_MAKERLINK);
    ClickLink(IDC_ABOUT_DEVELOPERLINK);
    ClickLink(IDC_ABOUT_HOMEPAGELINK);
    // A click on the picture, as the mouse gives it.
    const HWND picture = Control(IDC_ABOUT_DEVELOPER);
    SendMessageA(picture, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageA(picture, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(opened_, (Texts{"https://www.brantwick.example/", "https://developer.brantwick.example/",
                              "https://www.brantwick.example/norvale/",
                              "https://developer.brantwick.example/tracing/"}));

    SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
    SendMessageA(picture, WM_SETCURSOR, reinterpret_cast<WPARAM>(picture), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
}

TEST_F(AboutFormTest, OkAndCancelCloseItAndApplyStaysDisabled) {
    Open("Norvale");
    EXPECT_FALSE(IsWindowEnabled(Control(IDC_APPLY)));
    EXPECT_EQ(ShowPressing(IDOK), IDOK);
    EXPECT_FALSE(IsWindowVisible(form_->Handle()));
    EXPECT_FALSE(IsWindowEnabled(Control(IDC_APPLY)));
    EXPECT_EQ(ShowPressing(IDCANCEL), IDCANCEL);
    EXPECT_FALSE(IsWindowEnabled(Control(IDC_APPLY)));
    EXPECT_TRUE(opened_.empty());
}

TEST(Splash, IsTheLogoAloneBorderlessTopmostAndCentred) {
    TNorvaleSplashForm splash;
    splash.ShowSplash();
    const HWND window = splash.Handle();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    const SIZE client = ClientSize(window);
    EXPECT_EQ(client.cx, Scaled(461));
    EXPECT_EQ(client.cy, Scaled(163));
    RECT frame{};
    GetWindowRect(window, &frame);
    // No border, no caption: the window is its client area.
    EXPECT_EQ(frame.right - frame.left, client.cx);
    EXPECT_EQ(frame.bottom - frame.top, client.cy);
    EXPECT_EQ(GetWindowLongPtrA(window, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_BORDER), 0);
    EXPECT_NE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_LE(std::abs(frame.left + frame.right - GetSystemMetrics(SM_CXSCREEN)), 1);
    EXPECT_LE(std::abs(frame.top + frame.bottom - GetSystemMetrics(SM_CYSCREEN)), 1);
    EXPECT_EQ(splash.VersionText(), "Version 0.0 Release 0 Build 0");
}

TEST(Splash, StaysFiveSecondsThenItsOwnTickClosesIt) {
    const auto created = steady_clock::now();
    TNorvaleSplashForm splash;
    splash.ShowSplash();
    const HWND window = splash.Handle();
    EXPECT_FALSE(test::ServeMessagesUntil([&] { return splash.Handle() == nullptr; }, milliseconds(4000)))
        << "the splash closed before 4 s";
    EXPECT_TRUE(IsWindow(window));
    ASSERT_TRUE(test::ServeMessagesUntil([&] { return splash.Handle() == nullptr; }, milliseconds(20000)))
        << "waiting for the splash to close itself";
    EXPECT_GE(steady_clock::now() - created, milliseconds(TSplashForm::kCloseMilliseconds));
    EXPECT_FALSE(IsWindow(window));
}

TEST(Splash, ALateMessageLoopClosesItAtTheFirstTick) {
    TNorvaleSplashForm splash;
    splash.ShowSplash();
    const HWND window = splash.Handle();
    // A start-up slower than the timer: nothing closes the splash meanwhile.
    std::this_thread::sleep_for(milliseconds(TSplashForm::kCloseMilliseconds + 500));
    EXPECT_TRUE(IsWindow(window));
    // The first loop run after that handles the tick that is due.
    const auto loopStart = steady_clock::now();
    ASSERT_TRUE(test::ServeMessagesUntil([&] { return splash.Handle() == nullptr; }, milliseconds(20000)))
        << "waiting for the late loop to close the splash";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_LT(steady_clock::now() - loopStart, milliseconds(TSplashForm::kCloseMilliseconds));
}

}  // namespace
}  // namespace norvale
