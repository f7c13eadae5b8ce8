#include "shell/tray_icon.h"

#include <cstring>

#include "shell/tray_icon_model.h"

namespace norvale {

BOOL TTrayIcon::DefaultShellNotify(DWORD message, NOTIFYICONDATAA& record) {
    return Shell_NotifyIconA(message, &record);
}

TTrayIcon::TTrayIcon(ShellNotify notify)
    : notify_(std::move(notify)), taskbarCreated_(RegisterWindowMessageA("TaskbarCreated")) {
    // A hidden top-level window rather than a message-only one: only
    // top-level windows hear that the task bar was created again.
    Create("NorvaleTrayIcon", WS_EX_TOOLWINDOW, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);
}

TTrayIcon::~TTrayIcon() {
    if (active_) Delete();
}

void TTrayIcon::FillRecord() {
    record_ = NOTIFYICONDATAA{};
    // The first form of the record: every version of the shell takes it.
    record_.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record_.hWnd = Handle();
    record_.uID = 0;
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record_.uCallbackMessage = kCallbackMessage;
    record_.hIcon = icon_.get();
    std::memcpy(record_.szTip, toolTip_.c_str(), toolTip_.size() + 1);
}

void TTrayIcon::Add() {
    FillRecord();
    notify_(NIM_ADD, record_);
    Modify();
}

void TTrayIcon::Modify() {
    if (!active_) return;
    FillRecord();
    notify_(NIM_MODIFY, record_);
}

void TTrayIcon::Delete() {
    FillRecord();
    notify_(NIM_DELETE, record_);
}

void TTrayIcon::SetActive(bool active) {
    if (active == active_) return;
    active_ = active;
    if (active_) {
        Add();
    } else {
        Delete();
    }
}

void TTrayIcon::SetIcon(HICON icon) {
    icon_.reset(CopyIcon(icon));
    Modify();
}

void TTrayIcon::SetToolTip(std::string_view tip) {
    std::string cut = CutToolTip(tip);
    // Asked each second: the shell hears only of a change.
    if (cut == toolTip_) return;
    toolTip_ = std::move(cut);
    Modify();
}

LRESULT TTrayIcon::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCallbackMessage) {
        switch (TrayMouseEventOf(static_cast<uint32_t>(lParam))) {
            case TrayMouseEvent::Click:
                if (OnClick) OnClick();
                break;
            case TrayMouseEvent::DoubleClick:
                if (OnDblClick) OnDblClick();
                break;
            case TrayMouseEvent::RightClick:
                if (OnRightClick) {
                    POINT cursor{};
                    GetCursorPos(&cursor);
                    OnRightClick(cursor.x, cursor.y);
                }
                break;
            case TrayMouseEvent::None: break;
        }
        return 0;
    }
    if (message == taskbarCreated_ && active_) {
        Add();
        return 0;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

}  // namespace norvale
