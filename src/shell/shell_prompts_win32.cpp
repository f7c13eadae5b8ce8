#include "shell/shell_prompts.h"

#include <commdlg.h>

#include "shell/about_form.h"

namespace norvale {

UINT TWin32ShellPrompts::TrackTrayMenu(HWND owner, HMENU menu, POINT at) {
    const UINT command = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr));
    // Without this the menu would not close at the next click elsewhere.
    PostMessageA(owner, WM_NULL, 0, 0);
    return command;
}

std::optional<std::string> TWin32ShellPrompts::ChooseProgramToSpawn(HWND owner) {
    char path[MAX_PATH] = {};
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = "Applications (*.exe)\0*.exe\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrTitle = "Spawn Process...";
    dialog.lpstrDefExt = "exe";
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER;
    if (!GetOpenFileNameA(&dialog)) return std::nullopt;
    return std::string(path);
}

void TWin32ShellPrompts::ShowDialog(HWND owner, TShellDialog dialog) {
    if (dialog == TShellDialog::Properties) {
        showProperties_(owner);
        return;
    }
    // A window of its own for each showing, gone when it closes.
    TNorvaleAboutForm about(owner, "Norvale");
    about.ShowModal(owner);
}

}  // namespace norvale
