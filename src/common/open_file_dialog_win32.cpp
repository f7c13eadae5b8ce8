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

}  // namespace norvale
