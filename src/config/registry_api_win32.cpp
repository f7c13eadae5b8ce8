#include "config/registry_api.h"

namespace norvale {

RegKey RegCurrentUser() { return HKEY_CURRENT_USER; }
RegKey RegLocalMachine() { return HKEY_LOCAL_MACHINE; }

namespace {

REGSAM ViewFlag(RegView view) { return view == RegView::Bits32 ? KEY_WOW64_32KEY : 0; }

}  // namespace

long RegApiCreateKey(RegKey root, const std::string& subkey, RegAccess access, RegKey* key, RegView view) {
    *key = nullptr;
    return RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           (access == RegAccess::Write ? KEY_WRITE : KEY_ALL_ACCESS) | ViewFlag(view), nullptr, key,
                           nullptr);
}

long RegApiOpenKey(RegKey root, const std::string& subkey, RegKey* key, RegView view) {
    *key = nullptr;
    return RegOpenKeyExA(root, subkey.c_str(), 0, KEY_QUERY_VALUE | ViewFlag(view), key);
}

long RegApiQueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* size) {
    DWORD valueType = 0;
    DWORD byteCount = *size;
    const long result = RegQueryValueExA(key, name.c_str(), nullptr, &valueType, data, &byteCount);
    if (type != nullptr) *type = valueType;
    *size = byteCount;
    return result;
}

decltype(&RegSetValueExA) RegSetValueExACall = RegSetValueExA;

long RegApiSetValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size) {
    return RegSetValueExACall(key, name.c_str(), 0, type, data, size);
}

long RegApiDeleteTree(RegKey root, const std::string& subkey) {
    // RegDeleteTreeA empties the key but leaves the key itself.
    const long result = RegDeleteTreeA(root, subkey.c_str());
    if (result != ERROR_SUCCESS) return result;
    return RegDeleteKeyA(root, subkey.c_str());
}

long RegApiCloseKey(RegKey key) { return RegCloseKey(key); }

}  // namespace norvale
