#pragma once

// What a class factory knows of its class, read from the type library
// embedded in the executable: the ProgID-form name that is the source of error
// information, the class and default interface identifiers, and the type
// information that late binding and IProvideClassInfo hand out.

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "common/com_ptr.h"

namespace norvale {

struct TComClass {
    std::string Name;         // "Norvale.Norvale": library name, ".", class name
    std::string Description;  // the class's help string
    CLSID ClassId{};
    IID DefaultInterface{};
    ComPtr<ITypeInfo> ClassInfo;
    // The default interface as clients see it (GetTypeInfo, GetIDsOfNames) and
    // its virtual-table form, through which Invoke calls the methods.
    ComPtr<ITypeInfo> DispatchInfo;
    ComPtr<ITypeInfo> VtableInfo;
};

// Loads the type library from a file holding it as TYPELIB resource 1, or
// resource 2 from the path followed by a backslash and 2 (`norvale.exe\2`).
ComPtr<ITypeLib> LoadTypeLibraryFrom(const std::string& path);

TComClass ReadComClass(ITypeLib* library, REFCLSID classId);

}  // namespace norvale
