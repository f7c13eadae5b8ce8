#include "config/registry_config.h"

#include "common/text.h"
#include "config/registry_values.h"

namespace norvale {

void TRegistryConfig::SetNamePart(std::string& part, std::string_view text) {
    std::string trimmed(TrimSpaces(text));
    if (trimmed.empty() || trimmed == part) return;
    part = std::move(trimmed);
    path_.clear();
    ComposeKeyPath();
}

void TRegistryConfig::SetApplicationName(std::string_view name) { SetNamePart(applicationName_, name); }

void TRegistryConfig::SetCompanyName(std::string_view name) { SetNamePart(companyName_, name); }

void TRegistryConfig::SetVersion(std::string_view version) {
    std::string trimmed(TrimSpaces(version));
    if (trimmed == version_) return;
    version_ = std::move(trimmed);
    path_.clear();
    ComposeKeyPath();
}

void TRegistryConfig::SetPath(std::string_view path) {
    std::string trimmed(TrimSpaces(path));
    if (trimmed == path_) return;
    path_ = std::move(trimmed);
    applicationName_.clear();
    companyName_.clear();
    version_.clear();
    ComposeKeyPath();
}

void TRegistryConfig::ComposeKeyPath() {
    if (!path_.empty()) {
        keyPath_ = "SOFTWARE\\" + path_;
    } else {
        keyPath_ = "SOFTWARE\\" + companyName_ + "\\" + applicationName_;
        if (!version_.empty()) keyPath_ += "\\" + version_;
    }
    CloseKeys();
}

RegKey TRegistryConfig::OpenKeys() {
    // A store never named has no key of its own: the empty path would open the
    // hive itself, and values would land at its top. Its keys stay null, so
    // reads give the empty text and writes fail.
    if (!keyPath_.empty()) {
        // Result codes are not looked at: a key that cannot be opened (the
        // machine hive for a user without the right) stays null, turns a write
        // into the helpers' error and is tried again next time.
        if (!userKey_) RegApiCreateKey(RegCurrentUser(), keyPath_, RegAccess::All, userKey_.put());
        if (!machineKey_) RegApiCreateKey(RegLocalMachine(), keyPath_, RegAccess::All, machineKey_.put());
    }
    return user_ ? userKey_.get() : machineKey_.get();
}

void TRegistryConfig::CloseKeys() {
    userKey_.reset();
    machineKey_.reset();
}

std::string TRegistryConfig::ReadString(const std::string& key, const std::string& name) {
    return ReadRegString(OpenKeys(), key, name, "");
}

void TRegistryConfig::WriteString(const std::string& key, const std::string& name, const std::string& value) {
    WriteRegString(OpenKeys(), key, name, value);
}

}  // namespace norvale
