#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/part_status.h"

namespace norvale {

// The tip of the tray icon: the notification record holds 64 bytes, of which
// the icon shows at most the first 62 characters.
std::string CutToolTip(std::string_view tip);

// "12 viewer records not delivered"; nothing while none was lost.
std::string ViewerLossText(uint64_t undelivered);
// The same as the status bar gathers it.
PartStatusTexts ViewerStatusTexts(uint64_t undelivered);
// "Norvale", with the viewer's losses on a line of their own once there are any.
std::string TrayToolTip(uint64_t viewerUndelivered);

// What a mouse message of the icon's callback means; every other message is
// ignored.
enum class TrayMouseEvent { None, Click, DoubleClick, RightClick };
TrayMouseEvent TrayMouseEventOf(uint32_t mouseMessage);

}  // namespace norvale
