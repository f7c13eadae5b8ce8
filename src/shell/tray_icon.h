#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <string_view>

#include "common/win32_resources.h"
#include "common/window_win32.h"

namespace norvale {

// `TTrayIcon`: the icon in the notification area. It owns a hidden window
// that receives the icon's notifications, and one notification record filled
// before every call to the shell.
class TTrayIcon final : public TWindow {
public:
    static constexpr UINT kCallbackMessage = WM_USER + 1;
    // The shell call, replaceable so that a test sees every record handed to it.
    using ShellNotify = std::function<BOOL(DWORD message, NOTIFYICONDATAA& record)>;

    explicit TTrayIcon(ShellNotify notify = DefaultShellNotify);
    ~TTrayIcon() override;

    void SetActive(bool active);
    bool Active() const { return active_; }
    // Keeps a copy of its own.
    void SetIcon(HICON icon);
    void SetToolTip(std::string_view tip);
    const std::string& ToolTip() const { return toolTip_; }

    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void(int x, int y)> OnRightClick;

    static BOOL DefaultShellNotify(DWORD message, NOTIFYICONDATAA& record);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void FillRecord();
    void Add();
    void Modify();
    void Delete();

    ShellNotify notify_;
    NOTIFYICONDATAA record_{};
    bool active_ = false;
    UniqueIcon icon_;
    std::string toolTip_;
    // Sent to every top-level window when the shell's task bar (re)starts:
    // its icons are gone and must be added again.
    const UINT taskbarCreated_;
};

}  // namespace norvale
