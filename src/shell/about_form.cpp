#include "shell/about_form.h"

#include <commctrl.h>
#include <shellapi.h>

#include <vector>

#include "common/pictures_win32.h"
#include "common/window_win32.h"
#include "shell/shell_resources.h"

namespace norvale {

namespace {

constexpr int kBand = 163;
constexpr int kLogoWidth = 461;
constexpr SIZE kDeveloperPicture{130, 75};
constexpr SIZE kBrantwickPicture{480, 164};
constexpr int kGap = 8;
constexpr int kTextHeight = 16;

using NavigateFunction = HRESULT(WINAPI*)(LPCWSTR target, LPCWSTR location, LPCWSTR frame, IUnknown* caller,
                                          IBindCtx* context, IBindStatusCallback* callback, DWORD flags,
                                          DWORD reserved);

// The pointer stays over the developer picture as a hand, as over a link.
LRESULT CALLBACK HandCursor(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_SETCURSOR) {
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
        return TRUE;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

// Shows `picture` in a static control, which only borrows it. The control
// of common controls 6 keeps a copy of a picture with alpha and hands the copy
// back when the next picture is set: a handed-back picture that is not
// `previous` is that copy, and is freed here.
void SetPicture(HWND control, HGDIOBJ picture, HGDIOBJ previous = nullptr) {
    const auto handedBack = reinterpret_cast<HGDIOBJ>(
        SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture)));
    if (handedBack != nullptr && handedBack != previous) DeleteObject(handedBack);
}

SIZE PageSize(HWND page) {
    RECT client{};
    GetClientRect(page, &client);
    return {client.right, client.bottom};
}

}  // namespace

std::string AboutCaption(const std::string& title) { return "About " + title + "..."; }

std::string AboutVersionLine(const std::string& title, const FileVersion& version) {
    return title + " " + LongVersionText(version);
}

void NavigateToAddress(const std::string& address) {
    // hlink.dll is looked up when needed: a system without it opens the
    // address through the shell instead.
    if (const UniqueModule hlink(LoadLibraryA("hlink.dll")); hlink) {
        if (const auto navigate =
                reinterpret_cast<NavigateFunction>(
                    reinterpret_cast<void*>(GetProcAddress(hlink.get(), "HlinkSimpleNavigateToString")))) {
            const std::wstring wide(address.begin(), address.end());
            navigate(wide.c_str(), L"", L"", nullptr, nullptr, nullptr, 0, 0);
            return;
        }
    }
    ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

TNorvaleAboutForm::TNorvaleAboutForm(HWND owner, const std::string& title, LinkOpener openLink)
    : TTabbedForm(owner, AboutCaption(title), 506, 326,
                  {{"Norvale", IDD_ABOUT_NORVALE}, {"brantwick", IDD_ABOUT_BRANTWICK}}),
      openLink_(std::move(openLink)) {
    FormCreate(title);
}

TNorvaleAboutForm::~TNorvaleAboutForm() {
    // The controls only borrow the pictures, which go before the window does.
    const std::pair<int, HGDIOBJ> pictures[] = {{IDC_ABOUT_LOGO, img_Logo_.get()},
                                                {IDC_ABOUT_DEVELOPER, img_Developer_.get()},
                                                {IDC_ABOUT_PICTURE, img_Brantwick_.get()}};
    for (const auto& [id, picture] : pictures) SetPicture(Control(id), nullptr, picture);
    RemoveWindowSubclass(Control(IDC_ABOUT_DEVELOPER), HandCursor, 0);
}

void TNorvaleAboutForm::FormCreate(const std::string& title) {
    TTabbedForm::FormCreate();
    img_Logo_ = LoadScaledPicture("LOGO", MAKEINTRESOURCEA(IDB_LOGO_2X), kLogoWidth, kBand);
    SetPicture(Control(IDC_ABOUT_LOGO), img_Logo_.get());
    SetWindowTextA(Control(IDC_ABOUT_VERSION), AboutVersionLine(title, OwnFileVersion()).c_str());

    img_Developer_ = LoadScaledPicture(nullptr, MAKEINTRESOURCEA(IDB_ABOUT_DEVELOPER_2X), kDeveloperPicture.cx,
                                       kDeveloperPicture.cy);
    SetPicture(Control(IDC_ABOUT_DEVELOPER), img_Developer_.get());
    SetWindowSubclass(Control(IDC_ABOUT_DEVELOPER), HandCursor, 0, 0);
    img_Brantwick_ = LoadScaledPicture(nullptr, MAKEINTRESOURCEA(IDB_ABOUT_BRANTWICK_2X), kBrantwickPicture.cx,
                                       kBrantwickPicture.cy);
    SetPicture(Control(IDC_ABOUT_PICTURE), img_Brantwick_.get());
    LayOutPages();
}

void TNorvaleAboutForm::LayOutPages() {
    const auto place = [this](int id, int left, int top, int width, int height) {
        MoveWindow(Control(id), left, top, width, height, FALSE);
    };
    const int gap = Scaled(kGap);
    const int text = Scaled(kTextHeight);

    // "Norvale": the logo centred in its band, the texts at the lower left,
    // the developer picture at the lower right.
    const SIZE first = PageSize(GetParent(Control(IDC_ABOUT_LOGO)));
    const int band = Scaled(kBand);
    place(IDC_ABOUT_LOGO, (first.cx - Scaled(kLogoWidth)) / 2, 0, Scaled(kLogoWidth), band);
    const int pictureWidth = Scaled(kDeveloperPicture.cx);
    const int pictureHeight = Scaled(kDeveloperPicture.cy);
    const int pictureLeft = first.cx - gap - pictureWidth;
    place(IDC_ABOUT_DEVELOPER, pictureLeft, first.cy - gap - pictureHeight, pictureWidth, pictureHeight);
    const int textWidth = pictureLeft - 2 * gap;
    const int creditsTop = first.cy - gap - 2 * text;
    place(IDC_ABOUT_CREDITS, gap, creditsTop, textWidth, 2 * text);
    place(IDC_ABOUT_VERSION, gap, creditsTop - text - gap / 2, textWidth, text);

    // "brantwick": the picture across the top, the links under it.
    const SIZE second = PageSize(GetParent(Control(IDC_ABOUT_PICTURE)));
    const int wide = Scaled(kBrantwickPicture.cx);
    const int pictureBottom = gap / 2 + Scaled(kBrantwickPicture.cy);
    place(IDC_ABOUT_PICTURE, (second.cx - wide) / 2, gap / 2, wide, Scaled(kBrantwickPicture.cy));
    const int left = (second.cx - wide) / 2 + gap;
    const int width = second.cx - 2 * left;
    int top = pictureBottom + gap;
    for (int id : {IDC_ABOUT_MAKERLINK, IDC_ABOUT_DEVELOPERLINK}) {
        place(id, left, top, width, text);
        top += text + gap / 2;
    }
    top += gap / 2;
    place(IDC_ABOUT_HOMEPAGETEXT, left, top, width, text);
    place(IDC_ABOUT_HOMEPAGELINK, left, top + text, width, text);
}

void TNorvaleAboutForm::OpenLink(const char* address) { openLink_(address); }

bool TNorvaleAboutForm::PageCommand(int id, int code) {
    if (id == IDC_ABOUT_DEVELOPER && code == STN_CLICKED) {
        OpenLink(kBrantwickDeveloperPage);
        return true;
    }
    return false;
}

bool TNorvaleAboutForm::PageNotify(const NMHDR& header) {
    if (header.code != NM_CLICK && header.code != NM_RETURN) return false;
    switch (header.idFrom) {
        case IDC_ABOUT_MAKERLINK: OpenLink(kBrantwickSite); return true;
        case IDC_ABOUT_DEVELOPERLINK: OpenLink(kBrantwickDeveloperSite); return true;
        case IDC_ABOUT_HOMEPAGELINK: OpenLink(kNorvaleHomePage); return true;
        default: return false;
    }
}

}  // namespace norvale
