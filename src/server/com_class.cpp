#include "server/com_class.h"

#include "common/ansi_text.h"
#include "common/errors.h"

namespace norvale {

namespace {

void Check(HRESULT result, const std::string& what) {
    if (FAILED(result)) throw ENorvaleError(what, result);
}

std::string NameOf(ITypeLib* library, int index) {
    UniqueBstr name;
    UniqueBstr doc;
    Check(library->GetDocumentation(index, name.put(), doc.put(), nullptr, nullptr), "cannot read the type library");
    return WideToAnsi(name.get() ? std::wstring_view(name.get(), SysStringLen(name.get())) : std::wstring_view());
}

}  // namespace

ComPtr<ITypeLib> LoadTypeLibraryFrom(const std::string& path) {
    ComPtr<ITypeLib> library;
    const std::wstring widePath = AnsiToWide(path);
    Check(LoadTypeLibEx(widePath.c_str(), REGKIND_NONE, library.put()), "cannot load the type library of " + path);
    return library;
}

TComClass ReadComClass(ITypeLib* library, REFCLSID classId) {
    TComClass cls;
    cls.ClassId = classId;
    Check(library->GetTypeInfoOfGuid(classId, cls.ClassInfo.put()), "the type library has no such class");

    UniqueBstr className;
    UniqueBstr description;
    Check(cls.ClassInfo->GetDocumentation(MEMBERID_NIL, className.put(), description.put(), nullptr, nullptr),
          "cannot read the class's name");
    const auto text = [](const UniqueBstr& s) {
        return WideToAnsi(s.get() ? std::wstring_view(s.get(), SysStringLen(s.get())) : std::wstring_view());
    };
    cls.Name = NameOf(library, -1) + "." + text(className);
    cls.Description = text(description);

    TYPEATTR* attributes = nullptr;
    Check(cls.ClassInfo->GetTypeAttr(&attributes), "cannot read the class's attributes");
    const WORD implementedCount = attributes->cImplTypes;
    cls.ClassInfo->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < implementedCount; ++i) {
        INT flags = 0;
        Check(cls.ClassInfo->GetImplTypeFlags(i, &flags), "cannot read the class's interfaces");
        if ((flags & IMPLTYPEFLAG_FDEFAULT) == 0 || (flags & IMPLTYPEFLAG_FSOURCE) != 0) continue;
        HREFTYPE reference = 0;
        Check(cls.ClassInfo->GetRefTypeOfImplType(i, &reference), "cannot read the default interface");
        Check(cls.ClassInfo->GetRefTypeInfo(reference, cls.DispatchInfo.put()), "cannot read the default interface");
    }
    if (!cls.DispatchInfo) throw ENorvaleError("the class has no default interface");

    Check(cls.DispatchInfo->GetTypeAttr(&attributes), "cannot read the default interface");
    cls.DefaultInterface = attributes->guid;
    const bool dispatchForm = attributes->typekind == TKIND_DISPATCH;
    cls.DispatchInfo->ReleaseTypeAttr(attributes);
    if (dispatchForm) {
        // The virtual-table half of a dual interface.
        HREFTYPE reference = 0;
        Check(cls.DispatchInfo->GetRefTypeOfImplType(-1, &reference), "the default interface is not dual");
        Check(cls.DispatchInfo->GetRefTypeInfo(reference, cls.VtableInfo.put()), "the default interface is not dual");
    } else {
        cls.VtableInfo = cls.DispatchInfo;
    }
    return cls;
}

}  // namespace norvale
