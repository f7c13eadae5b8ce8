#include "common/dialog_win32.h"

#include <utility>

#include "common/errors.h"
#include "common/window_win32.h"

namespace norvale {

TDialog::~TDialog() {
    if (handle_ == nullptr) return;
    SetWindowLongPtrA(handle_, DWLP_USER, 0);
    DestroyWindow(std::exchange(handle_, nullptr));
}

void TDialog::CreateFromTemplate(int templateId, HWND parent) {
    if (CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), parent, Procedure,
                           reinterpret_cast<LPARAM>(this)) == nullptr) {
        throw ENorvaleError("cannot create dialog " + std::to_string(templateId));
    }
}

INT_PTR CALLBACK TDialog::Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* created = reinterpret_cast<TDialog*>(lParam);
        created->handle_ = dialog;
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    }
    auto* self = reinterpret_cast<TDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (self == nullptr) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (const std::exception& failure) {
        ShowWindowThreadFailure(failure);
        result = TRUE;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(dialog, DWLP_USER, 0);
        self->handle_ = nullptr;
    }
    return result;
}

}  // namespace norvale
