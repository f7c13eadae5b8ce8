#pragma once

#include <string>

#include "common/errors.h"
#include "config/registry_api.h"

namespace norvale {

class ERegistryError : public ENorvaleError {
public:
    using ENorvaleError::ENorvaleError;
};

// Every setting is a REG_SZ value holding the text's bytes without a
// terminating zero; flags are "1" and "0".
std::string ReadRegStringRaw(RegKey root, const std::string& subkey, const std::string& name,
                             RegView view = RegView::Native);
// Never raise: any failure gives the default, while an existing empty value
// gives the empty text.
std::string ReadRegString(RegKey root, const std::string& subkey, const std::string& name,
                          const std::string& defaultValue, RegView view = RegView::Native);
bool ReadRegBool(RegKey root, const std::string& subkey, const std::string& name, bool defaultValue);

void WriteRegString(RegKey root, const std::string& subkey, const std::string& name, const std::string& value,
                    RegView view = RegView::Native);
void WriteRegBool(RegKey root, const std::string& subkey, const std::string& name, bool value);

// A stored flag text: on exactly for "1", "true" and "yes" in any ASCII case.
bool FlagFromText(const std::string& text);

}  // namespace norvale
