#pragma once

#ifdef _WIN32

// The trace viewer's own registry values, as a test sets them for the
// viewer output to read.

#include <windows.h>

#include <optional>
#include <string>

#include "config/registry_values.h"
#include "output/codesite_output.h"

namespace norvale::test {

// One value of the viewer's registry keys, absent for the test unless it
// sets it, and put back as it was at the end; keys that are left empty are
// removed again, so nothing the test created stays behind.
class ViewerRegistryValue {
public:
    ViewerRegistryValue(HKEY root, std::string subkey, std::string name, RegView view = RegView::Native)
        : root_(root), subkey_(std::move(subkey)), name_(std::move(name)), view_(view),
          viewFlag_(view == RegView::Bits32 ? KEY_WOW64_32KEY : 0) {
        try {
            saved_ = ReadRegStringRaw(root_, subkey_, name_, view_);
        } catch (const ERegistryError&) {
            // Absent before the test: nothing to put back.
        }
        Remove();
    }
    ~ViewerRegistryValue() {
        if (saved_) {
            WriteRegString(root_, subkey_, name_, *saved_, view_);
            return;
        }
        Remove();
        for (std::string key = subkey_; key.find('\\') != std::string::npos; key.erase(key.rfind('\\'))) {
            if (!IsEmptyKey(key) || RegDeleteKeyExA(root_, key.c_str(), viewFlag_, 0) != ERROR_SUCCESS) break;
        }
    }
    ViewerRegistryValue(const ViewerRegistryValue&) = delete;
    ViewerRegistryValue& operator=(const ViewerRegistryValue&) = delete;

    void Set(const std::string& value) { WriteRegString(root_, subkey_, name_, value, view_); }

private:
    void Remove() {
        UniqueRegKey key;
        if (RegOpenKeyExA(root_, subkey_.c_str(), 0, KEY_SET_VALUE | viewFlag_, key.put()) == ERROR_SUCCESS) {
            RegDeleteValueA(key.get(), name_.c_str());
        }
    }
    bool IsEmptyKey(const std::string& path) {
        UniqueRegKey key;
        if (RegOpenKeyExA(root_, path.c_str(), 0, KEY_QUERY_VALUE | viewFlag_, key.put()) != ERROR_SUCCESS) return false;
        DWORD subkeys = 1;
        DWORD values = 1;
        RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        return subkeys == 0 && values == 0;
    }

    HKEY root_;
    std::string subkey_;
    std::string name_;
    RegView view_;
    REGSAM viewFlag_;
    std::optional<std::string> saved_;
};

// "ExePath" in either view and "ByPass", all absent unless the test sets them.
struct ViewerSettings {
    ViewerRegistryValue exePath{HKEY_LOCAL_MACHINE, TRzCodeSite::kExePathKey, "ExePath"};
    ViewerRegistryValue exePath32{HKEY_LOCAL_MACHINE, TRzCodeSite::kExePathKey, "ExePath", RegView::Bits32};
    ViewerRegistryValue byPass{HKEY_CURRENT_USER, TRzCodeSite::kByPassKey, "ByPass"};
};

}  // namespace norvale::test

#endif
