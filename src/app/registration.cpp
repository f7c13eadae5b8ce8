#include "app/registration.h"

#include <vector>

#include "common/ansi_text.h"
#include "common/com_ptr.h"
#include "common/errors.h"
#include "common/text.h"
#include "config/registry_api.h"
#include "server/com_class.h"

namespace norvale {

namespace {

constexpr const char* kUserClasses = "Software\\Classes";
// The universal marshaler, which builds an interface's proxy from its type
// library: the proxy every interface of ours has, in either view.
constexpr const char* kUniversalMarshaler = "{00020424-0000-0000-C000-000000000046}";

// A value to write: the key's default value when `name` is empty.
struct ClassKey {
    std::string path;
    std::string value;
    std::string name = {};
};

// What the keys need of a type library, read from it once.
struct LibraryFacts {
    struct Interface {
        std::string Id;
        std::string Name;
    };
    std::string Id;
    std::string Version;
    std::string Description;
    std::string Flags;
    bool Bits64 = true;
    std::vector<Interface> Interfaces;  // those the universal marshaler can serve
};

std::string TypeNameOf(ITypeLib* library, UINT index) {
    UniqueBstr name;
    if (FAILED(library->GetDocumentation(static_cast<INT>(index), name.put(), nullptr, nullptr, nullptr))) return {};
    return WideToAnsi(name.get() ? std::wstring_view(name.get(), SysStringLen(name.get())) : std::wstring_view());
}

LibraryFacts FactsOf(ITypeLib* library) {
    LibraryFacts facts;
    TLIBATTR* attributes = nullptr;
    const HRESULT result = library->GetLibAttr(&attributes);
    if (FAILED(result)) throw ENorvaleError("Error creating system registry entry", result);
    facts.Id = GuidText(attributes->guid);
    facts.Version = std::to_string(attributes->wMajorVerNum) + "." + std::to_string(attributes->wMinorVerNum);
    facts.Flags = std::to_string(attributes->wLibFlags);
    facts.Bits64 = attributes->syskind == SYS_WIN64;
    library->ReleaseTLibAttr(attributes);

    UniqueBstr description;
    library->GetDocumentation(-1, nullptr, description.put(), nullptr, nullptr);
    if (description.get() != nullptr) {
        facts.Description = WideToAnsi(std::wstring_view(description.get(), SysStringLen(description.get())));
    }
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> info;
        TYPEATTR* type = nullptr;
        if (FAILED(library->GetTypeInfo(i, info.put())) || FAILED(info->GetTypeAttr(&type))) continue;
        const bool automation = (type->typekind == TKIND_DISPATCH || type->typekind == TKIND_INTERFACE) &&
                                (type->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)) != 0;
        const GUID id = type->guid;
        info->ReleaseTypeAttr(type);
        if (automation) facts.Interfaces.push_back({GuidText(id), TypeNameOf(library, i)});
    }
    return facts;
}

// The keys, in the order they are written.
std::vector<ClassKey> ClassKeys(const TComClass& cls, const LibraryFacts& library, const std::string& exePath) {
    const std::string clsid = "CLSID\\" + GuidText(cls.ClassId);
    return {
        {clsid, cls.Description},
        {clsid + "\\LocalServer32", LocalServerPath(exePath)},
        {cls.Name, cls.Description},
        {cls.Name + "\\Clsid", GuidText(cls.ClassId)},
        {clsid + "\\ProgID", cls.Name},
        {clsid + "\\Version", library.Version},
        {clsid + "\\TypeLib", library.Id},
    };
}

// The keys, in the order they are deleted: children before parents.
std::vector<std::string> KeysToDelete(const TComClass& cls) {
    const std::string clsid = "CLSID\\" + GuidText(cls.ClassId);
    return {clsid + "\\TypeLib", clsid + "\\Version", clsid + "\\ProgID", cls.Name + "\\Clsid",
            cls.Name,            clsid + "\\LocalServer32", clsid};
}

// Where the 32-bit clients' type library is: resource 2 of the program.
std::string Bits32LibraryPath(const std::string& exePath) { return exePath + "\\2"; }

std::string ParentKey(const std::string& key) { return key.substr(0, key.rfind('\\')); }

std::string LibraryVersionKey(const LibraryFacts& library) { return "TypeLib\\" + library.Id + "\\" + library.Version; }

// The library's key for the neutral locale. The library's own locale is U.S.
// English, but the universal marshaler of some systems (Wine's among them)
// looks the library up under the neutral locale only; without this key no
// call could be marshaled there. Every other locale falls back to it.
std::string NeutralLocaleKey(const LibraryFacts& library) {
    return LibraryVersionKey(library) + "\\0\\" + (library.Bits64 ? "win64" : "win32");
}

// What a 32-bit client needs in its own view of the registry, in the order
// written: the class, served by this same 64-bit program; each interface,
// marshaled from the 32-bit library; and that library, as the platform's
// registration run by a 32-bit program would write it. A 64-bit process's
// registration of the library fills the 64-bit view alone.
std::vector<ClassKey> Bits32Keys(const TComClass& cls, const LibraryFacts& library, const std::string& exePath) {
    std::vector<ClassKey> keys = ClassKeys(cls, library, exePath);
    for (const auto& item : library.Interfaces) {
        const std::string key = "Interface\\" + item.Id;
        keys.insert(keys.end(), {{key, item.Name},
                                 {key + "\\ProxyStubClsid32", kUniversalMarshaler},
                                 {key + "\\TypeLib", library.Id},
                                 {key + "\\TypeLib", library.Version, "Version"}});
    }
    const std::string version = LibraryVersionKey(library);
    keys.insert(keys.end(), {{version, library.Description},
                             {version + "\\FLAGS", library.Flags},
                             {version + "\\HELPDIR", PathPartOfPath(exePath)},
                             {NeutralLocaleKey(library), Bits32LibraryPath(exePath)}});
    return keys;
}

// Children before parents. Windows and Wine share the library's key between
// the two views: there the version key keeps the 64-bit library's subkeys and
// stays for the 64-bit removal.
std::vector<std::string> Bits32KeysToDelete(const TComClass& cls, const LibraryFacts& library) {
    const std::string version = LibraryVersionKey(library);
    const std::string locale = NeutralLocaleKey(library);
    std::vector<std::string> keys = {locale,  ParentKey(locale), version + "\\FLAGS",
                                     version + "\\HELPDIR", version, "TypeLib\\" + library.Id};
    for (const auto& item : library.Interfaces) {
        const std::string key = "Interface\\" + item.Id;
        keys.insert(keys.end(), {key + "\\TypeLib", key + "\\ProxyStubClsid32", key});
    }
    const std::vector<std::string> classKeys = KeysToDelete(cls);
    keys.insert(keys.end(), classKeys.begin(), classKeys.end());
    return keys;
}

void WriteKey(RegKey root, const ClassKey& key, RegView view) {
    UniqueRegKey opened;
    if (RegApiCreateKey(root, key.path, RegAccess::Write, opened.put(), view) != ERROR_SUCCESS ||
        RegApiSetValue(opened.get(), key.name, REG_SZ, reinterpret_cast<const uint8_t*>(key.value.c_str()),
                       static_cast<uint32_t>(key.value.size() + 1)) != ERROR_SUCCESS) {
        throw ENorvaleError("Error creating system registry entry");
    }
}

// The root the class keys go below in `view`: the machine's classes, or the
// user's own, opened into `userClasses`.
HKEY ClassesRoot(bool machine, RegView view, UniqueRegKey& userClasses) {
    if (machine) return HKEY_CLASSES_ROOT;
    if (RegApiCreateKey(HKEY_CURRENT_USER, kUserClasses, RegAccess::All, userClasses.put(), view) != ERROR_SUCCESS) {
        throw ENorvaleError("Error creating system registry entry");
    }
    return userClasses.get();
}

bool CanWriteMachineClasses() {
    UniqueRegKey key;
    return RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_CREATE_SUB_KEY, key.put()) == ERROR_SUCCESS;
}

template <typename Function>
Function RuntimeEntry(const char* name) {
    // Looked up at run time: older systems lack some of them.
    HMODULE automation = GetModuleHandleA("oleaut32.dll");
    return automation != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(automation, name)))
                                 : nullptr;
}

using TypeLibRegistration = HRESULT(WINAPI*)(ITypeLib*, LPOLESTR, LPOLESTR);
using TypeLibRemoval = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

}  // namespace

std::string GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return WideToAnsi(text);
}

std::string LocalServerPath(const std::string& exePath) {
    if (exePath.find(' ') == std::string::npos) return exePath;
    char shortPath[MAX_PATH + 1] = {};
    const DWORD length = GetShortPathNameA(exePath.c_str(), shortPath, MAX_PATH);
    return length > 0 && length <= MAX_PATH ? std::string(shortPath, length) : exePath;
}

void RegisterServer(const TComClass& cls, ITypeLib* library, const std::string& exePath) {
    const bool machine = CanWriteMachineClasses();
    std::wstring widePath = AnsiToWide(exePath);
    std::wstring helpFolder = AnsiToWide(PathPartOfPath(exePath));
    HRESULT result = E_FAIL;
    if (machine) {
        result = RegisterTypeLib(library, widePath.data(), helpFolder.data());
    } else if (auto forUser = RuntimeEntry<TypeLibRegistration>("RegisterTypeLibForUser")) {
        result = forUser(library, widePath.data(), helpFolder.data());
    }
    if (FAILED(result)) throw ENorvaleError("Error creating system registry entry", result);

    const LibraryFacts facts = FactsOf(library);
    UniqueRegKey userClasses;
    const HKEY root = ClassesRoot(machine, RegView::Native, userClasses);
    WriteKey(root, {NeutralLocaleKey(facts), exePath}, RegView::Native);
    for (const auto& key : ClassKeys(cls, facts, exePath)) WriteKey(root, key, RegView::Native);

    const LibraryFacts facts32 = FactsOf(LoadTypeLibraryFrom(Bits32LibraryPath(exePath)).get());
    UniqueRegKey userClasses32;
    const HKEY root32 = ClassesRoot(machine, RegView::Bits32, userClasses32);
    for (const auto& key : Bits32Keys(cls, facts32, exePath)) WriteKey(root32, key, RegView::Bits32);
}

void UnregisterServer(const TComClass& cls, ITypeLib* library, const std::string& exePath) {
    UniqueRegKey userClasses;
    RegOpenKeyExA(HKEY_CURRENT_USER, kUserClasses, 0, KEY_ALL_ACCESS, userClasses.put());
    const HKEY roots[] = {HKEY_CLASSES_ROOT, userClasses.get()};

    // The 32-bit view first, so that where the library's key is shared the
    // platform's removal below finds only the 64-bit library in it.
    const LibraryFacts facts32 = FactsOf(LoadTypeLibraryFrom(Bits32LibraryPath(exePath)).get());
    for (HKEY root : roots) {
        if (root == nullptr) continue;
        for (const auto& key : Bits32KeysToDelete(cls, facts32)) RegDeleteKeyExA(root, key.c_str(), KEY_WOW64_32KEY, 0);
    }

    // The neutral-locale key first, so that the platform's removal of the
    // library finds its version key as it made it.
    const std::string neutralKey = NeutralLocaleKey(FactsOf(library));
    RegDeleteKeyA(HKEY_CLASSES_ROOT, neutralKey.c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ParentKey(neutralKey).c_str());
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        for (const char* name : {"UnRegisterTypeLib", "UnRegisterTypeLibForUser"}) {
            if (auto remove = RuntimeEntry<TypeLibRemoval>(name)) {
                remove(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                       attributes->syskind);
            }
        }
        library->ReleaseTLibAttr(attributes);
    }
    for (HKEY root : roots) {
        if (root == nullptr) continue;
        for (const auto& key : KeysToDelete(cls)) RegDeleteKeyA(root, key.c_str());
    }
}

}  // namespace norvale
