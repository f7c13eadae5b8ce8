#include "config/reg_placement.h"

namespace norvale {

std::optional<TPlacementValues> TWin32PlacementWindow::GetPlacement() {
    WINDOWPLACEMENT record{};
    record.length = sizeof record;
    if (!GetWindowPlacement(window_, &record)) return std::nullopt;
    return TPlacementValues{
        .Flags = static_cast<int32_t>(record.flags),
        .ShowCmd = static_cast<int32_t>(record.showCmd),
        .MinPosX = record.ptMinPosition.x,
        .MinPosY = record.ptMinPosition.y,
        .MaxPosX = record.ptMaxPosition.x,
        .MaxPosY = record.ptMaxPosition.y,
        .NormPosLeft = record.rcNormalPosition.left,
        .NormPosTop = record.rcNormalPosition.top,
        .NormPosRight = record.rcNormalPosition.right,
        .NormPosBottom = record.rcNormalPosition.bottom,
    };
}

void TWin32PlacementWindow::SetPlacement(const TPlacementValues& placement) {
    WINDOWPLACEMENT record{};
    record.length = sizeof record;
    record.flags = static_cast<UINT>(placement.Flags);
    record.showCmd = static_cast<UINT>(placement.ShowCmd);
    record.ptMinPosition = {placement.MinPosX, placement.MinPosY};
    record.ptMaxPosition = {placement.MaxPosX, placement.MaxPosY};
    record.rcNormalPosition = {placement.NormPosLeft, placement.NormPosTop, placement.NormPosRight,
                               placement.NormPosBottom};
    // A placement the system refuses leaves the window where it is, as when
    // nothing was stored.
    SetWindowPlacement(window_, &record);
}

void TWin32PlacementWindow::ShowMaximized() { ShowWindow(window_, SW_SHOWMAXIMIZED); }

}  // namespace norvale
