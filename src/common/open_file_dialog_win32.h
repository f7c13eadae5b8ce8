#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace norvale {

// What a file-open dialog asks; read-only choice hidden, Explorer style.
struct OpenFileRequest {
    const char* filter;  // pairs of a description and a pattern, each ended by a zero
    const char* title = nullptr;
    const char* defaultExtension = nullptr;
    DWORD extraFlags = 0;
};

// The file the user picked; none when cancelled.
std::optional<std::string> ChooseFileToOpen(HWND owner, const OpenFileRequest& request);

// The file to save to, in full Unicode; an existing file is confirmed first.
// `filter` as above; none when cancelled.
std::optional<std::wstring> ChooseFileToSave(HWND owner, const wchar_t* filter, const wchar_t* defaultExtension);

// An existing file, in full Unicode, under the dialog's `title`; `filter`
// as above; none when cancelled.
std::optional<std::wstring> ChooseWideFileToOpen(HWND owner, const wchar_t* filter, const wchar_t* title);

}  // namespace norvale
