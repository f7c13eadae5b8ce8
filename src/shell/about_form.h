#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/tabbed_form_win32.h"
#include "common/version.h"
#include "common/win32_resources.h"

namespace norvale {

// Where the about window's links lead.
inline constexpr const char* kBrantwickSite = "https://www.brantwick.example/";
inline constexpr const char* kBrantwickDeveloperSite = "https://developer.brantwick.example/";
inline constexpr const char* kBrantwickDeveloperPage = "https://developer.brantwick.example/tracing/";
inline constexpr const char* kNorvaleHomePage = "https://www.brantwick.example/norvale/";

// "About Norvale..." for the title "Norvale".
std::string AboutCaption(const std::string& title);
// "Norvale Version 1.0 Release 0 Build 1" for the title "Norvale" and 1.0.0.1.
std::string AboutVersionLine(const std::string& title, const FileVersion& version);

// Opens an address in the user's browser; whether it worked is not asked.
void NavigateToAddress(const std::string& address);

// `TNorvaleAboutForm`: the logo, the version and the credits on "Norvale",
// the maker and its sites on "brantwick". One per About command.
class TNorvaleAboutForm final : public TTabbedForm {
public:
    using LinkOpener = std::function<void(const std::string& address)>;

    TNorvaleAboutForm(HWND owner, const std::string& title, LinkOpener openLink = NavigateToAddress);
    ~TNorvaleAboutForm() override;

protected:
    bool PageCommand(int id, int code) override;
    bool PageNotify(const NMHDR& header) override;

private:
    void FormCreate(const std::string& title);
    void LayOutPages();
    void OpenLink(const char* address);

    LinkOpener openLink_;
    UniqueGdiObject img_Logo_;
    UniqueGdiObject img_Developer_;
    UniqueGdiObject img_Brantwick_;
};

}  // namespace norvale
