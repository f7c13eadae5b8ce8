#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace norvale {

// The tip of the tray icon: the notification record holds 64 bytes, of which
// the icon shows at most the first 62 characters.
std::string CutToolTip(std::string_view tip);

// What a mouse message of the icon's callback means; every other message is
// ignored.
enum class TrayMouseEvent { None, Click, DoubleClick, RightClick };
TrayMouseEvent TrayMouseEventOf(uint32_t mouseMessage);

}  // namespace norvale
