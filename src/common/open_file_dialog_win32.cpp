#include "common/open_file_dialog_win32.h"

#include <commdlg.h>

namespace norvale {

std::optional<std::string> ChooseFileToOpen(HWND owner, const OpenFileRequest& request) {
    char path[MAX_PATH] = {};
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = request.filter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrTitle = request.title;
    dialog.lpstrDefExt = request.defaultExtension;
    dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | request.extraFlags;
    if (!GetOpenFileNameA(&dialog)) return std::nullopt;
    return std::string(path);
}

std::optional<std::wstring> ChooseFileToSave(HWND owner, const wchar_t* filter, const wchar_t* defaultExtension) {
    wchar_t path[MAX_PATH] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = defaultExtension;
    dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    if (!GetSaveFileNameW(&dialog)) return std::nullopt;
    return std::wstring(path);
}

}  // namespace norvale
