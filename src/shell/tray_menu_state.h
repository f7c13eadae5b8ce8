#pragma once

#include <cstdint>
#include <string>

namespace norvale {

// What the tray menu shows each time it opens, from what the main thread
// reads of the server at that moment.
struct TrayMenuState {
    bool CloseEnabled = false;
    std::string CloseCaption;
    bool PropertiesEnabled = false;
    bool AboutEnabled = false;
    bool ShowDebugWindowEnabled = false;
    bool FlushOutputFileEnabled = false;

    bool operator==(const TrayMenuState&) const = default;
};

// `mu_TrayPopup`: Close only with no dialog up and no session open (and
// captioned to say why not); the dialogs only one at a time; flushing only a
// file that is open.
TrayMenuState ComputeTrayMenuState(int32_t openSessionCount, bool dialogActive, bool serverExists,
                                   bool outputFileOpen);

}  // namespace norvale
