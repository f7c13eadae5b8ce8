#pragma once

#include <string>
#include <string_view>

#include "config/registry_api.h"

namespace norvale {

// The application's own key, named from company, application and optional
// version (or from an explicit path below SOFTWARE), kept open in both hives,
// with text values read and written in subkeys of it. Window thread only.
class TRegistryConfig {
public:
    TRegistryConfig() = default;
    TRegistryConfig(const TRegistryConfig&) = delete;
    TRegistryConfig& operator=(const TRegistryConfig&) = delete;

    // Names are trimmed of spaces (the space character only). An empty name,
    // or the one already set, changes nothing; any other clears Path.
    const std::string& ApplicationName() const { return applicationName_; }
    void SetApplicationName(std::string_view name);
    const std::string& CompanyName() const { return companyName_; }
    void SetCompanyName(std::string_view name);
    // Trimmed the same way; the empty text removes the version. Clears Path.
    const std::string& Version() const { return version_; }
    void SetVersion(std::string_view version);
    // Replaces the three parts above, which it clears.
    const std::string& Path() const { return path_; }
    void SetPath(std::string_view path);
    // "Software\" + Path, also when Path is empty; not the key the store opens.
    std::string FullPath() const { return "Software\\" + path_; }
    // The per-user hive when set, else the machine hive. Open keys stay open;
    // the choice applies from the next read or write.
    bool User() const { return user_; }
    void SetUser(bool user) { user_ = user; }

    // The key opened in both hives; empty until a naming property is set.
    const std::string& KeyPath() const { return keyPath_; }

    // The value `name` in the subkey `key` of the application key; the empty
    // text on any failure.
    std::string ReadString(const std::string& key, const std::string& name);
    // Raises ERegistryError as WriteRegString does.
    void WriteString(const std::string& key, const std::string& name, const std::string& value);

private:
    void SetNamePart(std::string& part, std::string_view text);
    void ComposeKeyPath();
    RegKey OpenKeys();
    void CloseKeys();

    std::string applicationName_ = "MyApplication";
    std::string companyName_ = "MyCompany";
    std::string version_;
    std::string path_;
    bool user_ = false;
    std::string keyPath_;
    UniqueRegKey userKey_;
    UniqueRegKey machineKey_;
};

}  // namespace norvale
