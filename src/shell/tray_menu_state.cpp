#include "shell/tray_menu_state.h"

namespace norvale {

TrayMenuState ComputeTrayMenuState(int32_t openSessionCount, bool dialogActive, bool serverExists,
                                   bool outputFileOpen) {
    TrayMenuState state;
    state.CloseEnabled = !dialogActive && openSessionCount == 0;
    state.CloseCaption = openSessionCount == 0 ? "Close" : "Close (Sessions open!)";
    state.PropertiesEnabled = !dialogActive;
    state.AboutEnabled = !dialogActive;
    state.ShowDebugWindowEnabled = !dialogActive;
    state.FlushOutputFileEnabled = serverExists && outputFileOpen;
    return state;
}

}  // namespace norvale
