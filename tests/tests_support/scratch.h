#pragma once

#include <string>

#include "output/output_settings.h"

namespace norvale::test {

// A folder of the test process's own, removed with everything in it.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    // `name` inside the folder, with the platform's separator.
    std::string PathOf(const std::string& name) const;

private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// A settings key of the test's own, removed at the end; values written as
// text the way the properties dialog writes them.
class ScratchSettings {
public:
    ScratchSettings();
    ~ScratchSettings();
    ScratchSettings(const ScratchSettings&) = delete;
    ScratchSettings& operator=(const ScratchSettings&) = delete;

    void Set(const std::string& name, const std::string& value);
    void SetFlag(const std::string& name, bool on) { Set(name, on ? "1" : "0"); }
    const SettingsLocation& Location() const { return location_; }

private:
    SettingsLocation location_;
};

// A path below SOFTWARE of the tests' own for a TRegistryConfig, removed at
// the end from both hives, since the store opens its key in both. Declared
// before the store, it outlives the store's open keys.
class ScratchStorePath {
public:
    ScratchStorePath();
    ~ScratchStorePath();
    ScratchStorePath(const ScratchStorePath&) = delete;
    ScratchStorePath& operator=(const ScratchStorePath&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace norvale::test
