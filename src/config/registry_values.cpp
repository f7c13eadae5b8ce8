#include "config/registry_values.h"

#include <new>
#include <vector>

#include "common/text.h"

namespace norvale {

namespace {

std::string WithCode(const std::string& what, const std::string& name, long code) {
    return what + " " + name + " (Error " + std::to_string(code) + ").";
}

}  // namespace

std::string ReadRegStringRaw(RegKey root, const std::string& subkey, const std::string& name, RegView view) {
    UniqueRegKey key;
    long result = RegApiOpenKey(root, subkey, key.put(), view);
    if (result != regcode::kSuccess) throw ERegistryError(WithCode("could not open key", subkey, result));

    uint32_t type = 0;
    uint32_t size = 0;
    result = RegApiQueryValue(key.get(), name, &type, nullptr, &size);
    if (result != regcode::kSuccess) throw ERegistryError(WithCode("could not read value", name, result));
    if (type != regcode::kTypeSz) throw ERegistryError("invalid value type.");
    if (size == 0) return {};

    std::vector<uint8_t> buffer;
    try {
        buffer.resize(size);
    } catch (const std::bad_alloc&) {
        throw ERegistryError("could not allocate enough memory.");
    }
    result = RegApiQueryValue(key.get(), name, &type, buffer.data(), &size);
    if (result != regcode::kSuccess) throw ERegistryError(WithCode("could not read value", name, result));

    // Values written by WriteRegString carry no terminating zero; others may.
    std::string text(buffer.begin(), buffer.begin() + size);
    const size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    return text;
}

std::string ReadRegString(RegKey root, const std::string& subkey, const std::string& name,
                          const std::string& defaultValue, RegView view) {
    try {
        return ReadRegStringRaw(root, subkey, name, view);
    } catch (const std::exception&) {
        return defaultValue;
    }
}

bool FlagFromText(const std::string& text) {
    const std::string lower = AsciiLowerCase(text);
    return lower == "1" || lower == "true" || lower == "yes";
}

bool ReadRegBool(RegKey root, const std::string& subkey, const std::string& name, bool defaultValue) {
    try {
        return FlagFromText(ReadRegStringRaw(root, subkey, name));
    } catch (const std::exception&) {
        return defaultValue;
    }
}

void WriteRegString(RegKey root, const std::string& subkey, const std::string& name, const std::string& value,
                    RegView view) {
    UniqueRegKey key;
    long result = RegApiCreateKey(root, subkey, RegAccess::Write, key.put(), view);
    if (result != regcode::kSuccess) throw ERegistryError(WithCode("could not create key", subkey, result));
    result = RegApiSetValue(key.get(), name, regcode::kTypeSz, reinterpret_cast<const uint8_t*>(value.data()),
                            static_cast<uint32_t>(value.size()));
    if (result != regcode::kSuccess) throw ERegistryError(WithCode("could not set value", name, result));
}

void WriteRegBool(RegKey root, const std::string& subkey, const std::string& name, bool value) {
    WriteRegString(root, subkey, name, value ? "1" : "0");
}

}  // namespace norvale
