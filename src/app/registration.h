#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "server/com_class.h"

namespace norvale {

// Registers the type library, then writes the class keys in this order: in
// the machine's classes when they can be written, else in the user's own (an
// ordinary user on Windows cannot write HKEY_CLASSES_ROOT; the user's classes
// serve that user's clients just as well). Then, in the same scope of the
// registry's 32-bit view, the class, its interfaces and the 32-bit library
// (TYPELIB resource 2 of `exePath`), for 32-bit clients. Raises "Error
// creating system registry entry" when a key cannot be written.
void RegisterServer(const TComClass& cls, ITypeLib* library, const std::string& exePath);

// Removes the type-library registration and the class keys, from both scopes
// and both views; keys that are not there are passed over.
void UnregisterServer(const TComClass& cls, ITypeLib* library, const std::string& exePath);

// The LocalServer32 value: the path, or its short form when it has a space.
std::string LocalServerPath(const std::string& exePath);

std::string GuidText(REFGUID guid);

}  // namespace norvale
