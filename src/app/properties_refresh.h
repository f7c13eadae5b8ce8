#pragma once

#include <functional>

namespace norvale {

// What an Apply in the properties dialog refreshes, as the process wires it.
struct TPropertiesRefresh {
    // The live server object re-reads the settings and the options; false
    // when none lives. Whether one lives is decided under the lock its end
    // takes, so an object that goes meanwhile cannot take the refresh along.
    std::function<bool()> ServerObject;
    // The options as they are now ask for capture.
    std::function<bool()> CaptureOn;
    // The output stage re-reads the settings and the options.
    std::function<void()> Stage;
    // The process's own parts follow the options: capture, forwarding, the
    // trace store's bound, the debugger runs.
    std::function<void()> Options;
    std::function<void()> CloseOutputFile;
};

// Without a server object the stage still serves capture while it runs, and
// nobody once it ends: its file is closed then. The process's own parts
// follow the options in every case.
void RefreshProperties(const TPropertiesRefresh& refresh);

}  // namespace norvale
