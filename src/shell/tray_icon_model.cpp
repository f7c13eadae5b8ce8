#include "shell/tray_icon_model.h"

namespace norvale {

namespace {

constexpr size_t kToolTipLength = 62;
constexpr uint32_t kLeftButtonUp = 0x202;
constexpr uint32_t kLeftButtonDoubleClick = 0x203;
constexpr uint32_t kRightButtonUp = 0x205;

}  // namespace

std::string CutToolTip(std::string_view tip) { return std::string(tip.substr(0, kToolTipLength)); }

std::string ViewerLossText(uint64_t undelivered) {
    if (undelivered == 0) return {};
    return std::to_string(undelivered) + (undelivered == 1 ? " viewer record" : " viewer records") + " not delivered";
}

PartStatusTexts ViewerStatusTexts(uint64_t undelivered) {
    const std::string losses = ViewerLossText(undelivered);
    return {{std::wstring(losses.begin(), losses.end())}, {}};
}

std::string TrayToolTip(uint64_t viewerUndelivered) {
    const std::string losses = ViewerLossText(viewerUndelivered);
    return losses.empty() ? "Norvale" : "Norvale\n" + losses;
}

TrayMouseEvent TrayMouseEventOf(uint32_t mouseMessage) {
    switch (mouseMessage) {
        case kLeftButtonUp: return TrayMouseEvent::Click;
        case kLeftButtonDoubleClick: return TrayMouseEvent::DoubleClick;
        case kRightButtonUp: return TrayMouseEvent::RightClick;
        default: return TrayMouseEvent::None;
    }
}

}  // namespace norvale
