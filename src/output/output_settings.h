#pragma once

#include <functional>
#include <string>

#include "config/registry_api.h"

namespace norvale {

// The fifteen values of the `Output` key, in the order the server keeps them.
struct OutputSettings {
    bool ToClients = false;  // stored and refreshed; nothing is sent to clients
    bool ToConsole = false;
    bool ToMono = false;
    bool ToFile = false;
    bool ToCodeSite = false;
    std::string Filename = "c:\\Debug.txt";
    bool IncludeDateTime = false;
    bool IncludeProject = false;
    bool IncludeModule = false;
    bool IncludeClass = false;
    bool IncludeMachine = false;
    bool IncludeProcess = false;
    bool IncludeThread = false;
    bool IncludeCode = false;
    bool FlushOutputFile = false;

    bool AnyOutput() const { return ToConsole || ToMono || ToFile || ToCodeSite; }
};

// Where the settings are kept: the per-user `Output` key, unless a test or
// another program (the agent, with its own key) points elsewhere.
struct SettingsLocation {
    RegKey root = RegCurrentUser();
    std::string subkey = kOutputSettingsKey;
    // What a value that is not stored reads as.
    OutputSettings defaults = {};
    // What a run puts over the stored values (a program's switches).
    std::function<void(OutputSettings&)> overrides = {};

    static constexpr const char* kOutputSettingsKey = "Software\\brantwick\\Norvale\\Output";
};

// Reads every value with its default; a value that cannot be read is its
// default, silently.
OutputSettings ReadOutputSettings(const SettingsLocation& location);

}  // namespace norvale
