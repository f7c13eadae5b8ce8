#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/dialog_win32.h"

namespace norvale {

// `TTabbedForm`: a dialog frame centred on the screen with pages in a page
// control and the buttons Ok, Cancel and Apply. The window is made once and
// kept: every showing finds the controls, the Apply button and the page as
// they were last left. Enter is Ok and Escape is Cancel; Ctrl+Tab turns the
// pages.
class TTabbedForm : public TDialog {
public:
    struct PageTemplate {
        const char* title;
        int templateId;
    };

    // Out of line: the pages' type is known only there.
    ~TTabbedForm() override;

    // Shows the dialog over `owner`, which is disabled meanwhile, until Ok,
    // Cancel or the close box; gives IDOK or IDCANCEL.
    int ShowModal(HWND owner);

protected:
    // The client area in pixels at 96 dots per inch.
    TTabbedForm(HWND owner, const std::string& caption, int clientWidth, int clientHeight,
                const std::vector<PageTemplate>& pages);

    // Loads, then disables Apply. The derived dialog calls it once its
    // pages are made.
    void FormCreate();
    // Fill and store the controls; the base only disables Apply.
    virtual void LoadSettings();
    virtual void SaveSettings();
    // Enables Apply.
    void DataChanged();

    // A control of one of the pages by its identifier; none when no page has it.
    HWND Control(int id) const;

    // What the pages' controls report, and messages of the derived dialog's
    // own; true when taken. Not pure: the window sends some while the base
    // is still being made.
    virtual bool PageCommand(int id, int code);
    virtual bool PageNotify(const NMHDR& header);
    virtual bool FormMessage(UINT message, WPARAM wParam, LPARAM lParam);

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class TPage;

    void btn_OkClick(bool fromOk);
    void btn_CancelClick();
    void Layout(int clientWidth, int clientHeight);
    void ShowPage(int index);
    // Whether the key, with the keyboard's state, turned the page.
    bool TurnedPage(WPARAM key);

    std::vector<std::unique_ptr<TPage>> pages_;
    int modalResult_ = 0;
};

}  // namespace norvale
