#include "shell/shell_prompts.h"

#include <commdlg.h>

#include "common/open_file_dialog_win32.h"
#include "common/window_win32.h"
#include "shell/about_form.h"

namespace norvale {

UINT TWin32ShellPrompts::TrackContextMenu(HWND owner, HMENU menu, POINT at) { return TrackTrayMenu(owner, menu, at); }

UINT TWin32ShellPrompts::TrackTrayMenu(HWND owner, HMENU menu, POINT at) {
    const UINT command = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr));
    // Without this the menu would not close at the next click elsewhere.
    PostMessageA(owner, WM_NULL, 0, 0);
    return command;
}

std::optional<std::string> TWin32ShellPrompts::ChooseProgramToSpawn(HWND owner) {
    return ChooseFileToOpen(owner, {"Applications (*.exe)\0*.exe\0", "Spawn Process...", "exe",
                                    OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST});
}

std::optional<std::wstring> TWin32ShellPrompts::ChooseTraceFileToSave(HWND owner) {
    return ChooseFileToSave(owner, L"Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0", L"txt");
}

std::optional<std::wstring> TWin32ShellPrompts::ChooseTraceFileToOpen(HWND owner) {
    return ChooseWideFileToOpen(owner, L"Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0", L"Open Trace");
}

std::optional<std::wstring> TWin32ShellPrompts::ChooseDumpFileToSave(HWND owner) {
    return ChooseFileToSave(owner, L"Minidumps (*.dmp)\0*.dmp\0All files (*.*)\0*.*\0", L"dmp");
}

// The box a window procedure shows for a failure of its own.
void TWin32ShellPrompts::ShowFailure(HWND, const std::exception& failure) { ShowWindowThreadFailure(failure); }

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
