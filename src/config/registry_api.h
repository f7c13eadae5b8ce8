#pragma once

// The few registry operations the settings need, with the platform's result
// codes. On Windows they are the registry itself (single-byte forms); the
// native build puts an in-memory store behind the same operations so that one
// test suite runs against both.

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "common/unique_resource.h"

namespace norvale {

#ifdef _WIN32
using RegKey = HKEY;
#else
struct MemoryRegKey;
using RegKey = MemoryRegKey*;
#endif

namespace regcode {
inline constexpr long kSuccess = 0;
inline constexpr long kFileNotFound = 2;
inline constexpr long kInvalidHandle = 6;
inline constexpr long kInvalidParameter = 87;
inline constexpr long kMoreData = 234;
inline constexpr uint32_t kTypeSz = 1;
inline constexpr uint32_t kTypeDword = 4;
}  // namespace regcode

enum class RegAccess { Write, All };
// Windows keeps part of HKEY_LOCAL_MACHINE\Software apart for 32-bit
// programs; `Native` is the part a program of our own width sees.
enum class RegView { Native, Bits32 };

RegKey RegCurrentUser();
RegKey RegLocalMachine();

// Opens `subkey` below `root`, creating every missing key on the way.
long RegApiCreateKey(RegKey root, const std::string& subkey, RegAccess access, RegKey* key,
                     RegView view = RegView::Native);
// Opens an existing `subkey` for querying values.
long RegApiOpenKey(RegKey root, const std::string& subkey, RegKey* key, RegView view = RegView::Native);
// With a null `data`, gives the type and the byte size only.
long RegApiQueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* size);
long RegApiSetValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size);
#ifdef _WIN32
// The platform call behind RegApiSetValue, for a test to stand in for: Wine
// stores a terminator of its own whatever count it is handed, so only the
// call itself shows the count.
extern decltype(&RegSetValueExA) RegSetValueExACall;
#endif
// Removes `subkey` with everything below it.
long RegApiDeleteTree(RegKey root, const std::string& subkey);
long RegApiCloseKey(RegKey key);

struct RegKeyTraits {
    using Type = RegKey;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type key) { return key != nullptr; }
    static void Close(Type key) { RegApiCloseKey(key); }
};
using UniqueRegKey = UniqueResource<RegKeyTraits>;

}  // namespace norvale
