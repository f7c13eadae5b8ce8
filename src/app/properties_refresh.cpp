#include "app/properties_refresh.h"

namespace norvale {

void RefreshProperties(const TPropertiesRefresh& refresh) {
    if (refresh.ServerObject()) return;
    if (refresh.CaptureOn()) {
        refresh.Stage();
        return;
    }
    refresh.Options();
    refresh.CloseOutputFile();
}

}  // namespace norvale
