#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace norvale {

enum class TShellDialog { Properties, About };

// Everything of the shell that waits for the user: a test puts its own
// answers here, so nothing waits on a human and nothing is clicked blind.
class IShellPrompts {
public:
    virtual ~IShellPrompts() = default;
    // Opens the tray menu at `at`; gives the command chosen, 0 for none.
    virtual UINT TrackTrayMenu(HWND owner, HMENU menu, POINT at) = 0;
    // The program picked in the "Spawn Process..." dialog; none when cancelled.
    virtual std::optional<std::string> ChooseProgramToSpawn(HWND owner) = 0;
    // Shows the dialog modally and returns when it closes.
    virtual void ShowDialog(HWND owner, TShellDialog dialog) = 0;
    // Opens a context menu (the trace window's rows or column headers) at
    // `at`; gives the command chosen, 0 for none.
    virtual UINT TrackContextMenu(HWND owner, HMENU menu, POINT at) = 0;
    // Where the trace window saves its rows; none when cancelled.
    virtual std::optional<std::wstring> ChooseTraceFileToSave(HWND owner) = 0;
    // A saved trace to open; none when cancelled.
    virtual std::optional<std::wstring> ChooseTraceFileToOpen(HWND owner) = 0;
    // Where a process window's "Save dump…" writes; none when cancelled.
    virtual std::optional<std::wstring> ChooseDumpFileToSave(HWND owner) = 0;
    // A command of the user's failed: the user reads why, and the program
    // goes on.
    virtual void ShowFailure(HWND owner, const std::exception& failure) = 0;
};

// The real prompts: the popup menu, the file dialog, the dialogs.
class TWin32ShellPrompts final : public IShellPrompts {
public:
    // Shows the properties dialog modally over `owner`.
    explicit TWin32ShellPrompts(std::function<void(HWND owner)> showProperties)
        : showProperties_(std::move(showProperties)) {}
    UINT TrackTrayMenu(HWND owner, HMENU menu, POINT at) override;
    std::optional<std::string> ChooseProgramToSpawn(HWND owner) override;
    void ShowDialog(HWND owner, TShellDialog dialog) override;
    UINT TrackContextMenu(HWND owner, HMENU menu, POINT at) override;
    std::optional<std::wstring> ChooseTraceFileToSave(HWND owner) override;
    std::optional<std::wstring> ChooseTraceFileToOpen(HWND owner) override;
    std::optional<std::wstring> ChooseDumpFileToSave(HWND owner) override;
    void ShowFailure(HWND owner, const std::exception& failure) override;

private:
    std::function<void(HWND owner)> showProperties_;
};

}  // namespace norvale
