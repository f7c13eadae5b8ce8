#include "shell/tray_icon_model.h"

namespace norvale {

namespace {

constexpr size_t kToolTipLength = 62;
constexpr uint32_t kLeftButtonUp = 0x202;
constexpr uint32_t kLeftButtonDoubleClick = 0x203;
constexpr uint32_t kRightButtonUp = 0x205;

}  // namespace

std::string CutToolTip(std::string_view tip) { return std::string(tip.substr(0, kToolTipLength)); }

TrayMouseEvent TrayMouseEventOf(uint32_t mouseMessage) {
    switch (mouseMessage) {
        case kLeftButtonUp: return TrayMouseEvent::Click;
        case kLeftButtonDoubleClick: return TrayMouseEvent::DoubleClick;
        case kRightButtonUp: return TrayMouseEvent::RightClick;
        default: return TrayMouseEvent::None;
    }
}

}  // namespace norvale
