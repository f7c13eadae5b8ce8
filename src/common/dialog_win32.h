#pragma once

#include <windows.h>

namespace norvale {

// The base of every dialog of the program: a modeless dialog made from a
// template of the program's resources, a small object around its HWND found
// through DWLP_USER. As with windows, an exception a handler raises ends at
// the procedure, shown to the user as the top-level handler would.
class TDialog {
public:
    TDialog() = default;
    virtual ~TDialog();
    TDialog(const TDialog&) = delete;
    TDialog& operator=(const TDialog&) = delete;

    HWND Handle() const { return handle_; }

protected:
    void CreateFromTemplate(int templateId, HWND parent);
    // Returns TRUE for a message it took.
    virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

private:
    static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    HWND handle_ = nullptr;
};

}  // namespace norvale
