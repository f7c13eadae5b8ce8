#include "output/output_settings.h"

#include "config/registry_values.h"

namespace norvale {

OutputSettings ReadOutputSettings(const SettingsLocation& location) {
    const OutputSettings& defaults = location.defaults;
    OutputSettings settings;
    const auto flag = [&](const char* name, bool fallback) {
        return ReadRegBool(location.root, location.subkey, name, fallback);
    };
    // The order in which the values have always been read.
    settings.ToClients = flag("ToClients", defaults.ToClients);
    settings.ToConsole = flag("ToConsole", defaults.ToConsole);
    settings.ToMono = flag("ToMono", defaults.ToMono);
    settings.ToFile = flag("ToFile", defaults.ToFile);
    settings.ToCodeSite = flag("ToCodeSite", defaults.ToCodeSite);
    settings.Filename = ReadRegString(location.root, location.subkey, "Filename", defaults.Filename);
    settings.FlushOutputFile = flag("FlushOutputFile", defaults.FlushOutputFile);
    settings.IncludeDateTime = flag("IncludeDateTime", defaults.IncludeDateTime);
    settings.IncludeProject = flag("IncludeProject", defaults.IncludeProject);
    settings.IncludeModule = flag("IncludeModule", defaults.IncludeModule);
    settings.IncludeClass = flag("IncludeClass", defaults.IncludeClass);
    settings.IncludeMachine = flag("IncludeMachine", defaults.IncludeMachine);
    settings.IncludeProcess = flag("IncludeProcess", defaults.IncludeProcess);
    settings.IncludeThread = flag("IncludeThread", defaults.IncludeThread);
    settings.IncludeCode = flag("IncludeCode", defaults.IncludeCode);
    if (location.overrides) location.overrides(settings);
    return settings;
}

}  // namespace norvale
