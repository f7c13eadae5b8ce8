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

namespace {

std::optional<std::wstring> ChooseWideFile(HWND owner, const wchar_t* filter, const wchar_t* title,
                                           const wchar_t* defaultExtension, DWORD flags,
                                           BOOL(WINAPI* choose)(OPENFILENAMEW*)) {
    wchar_t path[MAX_PATH] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = title;
    dialog.lpstrDefExt = defaultExtension;
    dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | flags;
    if (!choose(&dialog)) return std::nullopt;
    return std::wstring(path);
}

}  // namespace

std::optional<std::wstring> ChooseFileToSave(HWND owner, const wchar_t* filter, const wchar_t* defaultExtension) {
    return ChooseWideFile(owner, filter, nullptr, defaultExtension, OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST,
                          GetSaveFileNameW);
}

std::optional<std::wstring> ChooseWideFileToOpen(HWND owner, const wchar_t* filter, const wchar_t* title) {
    return ChooseWideFile(owner, filter, title, nullptr, OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST, GetOpenFileNameW);
}

}  // namespace norvale
