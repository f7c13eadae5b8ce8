#include "app/registration.h"

#include <vector>

#include "common/ansi_text.h"
#include "common/com_ptr.h"
#include "common/errors.h"
#include "common/text.h"
#include "config/registry_api.h"

namespace norvale {

namespace {

constexpr const char* kUserClasses = "Software\\Classes";

struct ClassKey {
    std::string path;
    std::string value;
};

// The keys, in the order they are written.
std::vector<ClassKey> ClassKeys(const TComClass& cls, ITypeLib* library, const std::string& exePath) {
    const std::string clsid = "CLSID\\" + GuidText(cls.ClassId);
    TLIBATTR* attributes = nullptr;
    std::string version = "1.0";
    std::string libraryId;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        version = std::to_string(attributes->wMajorVerNum) + "." + std::to_string(attributes->wMinorVerNum);
        libraryId = GuidText(attributes->guid);
        library->ReleaseTLibAttr(attributes);
    }
    return {
        {clsid, cls.Description},
        {clsid + "\\LocalServer32", LocalServerPath(exePath)},
        {cls.Name, cls.Description},
        {cls.Name + "\\Clsid", GuidText(cls.ClassId)},
        {clsid + "\\ProgID", cls.Name},
        {clsid + "\\Version", version},
        {clsid + "\\TypeLib", libraryId},
    };
}

// The keys, in the order they are deleted: children before parents.
std::vector<std::string> KeysToDelete(const TComClass& cls) {
    const std::string clsid = "CLSID\\" + GuidText(cls.ClassId);
    return {clsid + "\\TypeLib", clsid + "\\Version", clsid + "\\ProgID", cls.Name + "\\Clsid",
            cls.Name,            clsid + "\\LocalServer32", clsid};
}

void WriteDefaultValue(HKEY root, const ClassKey& key) {
    UniqueRegKey opened;
    if (RegApiCreateKey(root, key.path, RegAccess::Write, opened.put()) != ERROR_SUCCESS ||
        RegApiSetValue(opened.get(), "", REG_SZ, reinterpret_cast<const uint8_t*>(key.value.c_str()),
                       static_cast<uint32_t>(key.value.size() + 1)) != ERROR_SUCCESS) {
        throw ENorvaleError("Error creating system registry entry");
    }
}

bool CanWriteMachineClasses() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_CREATE_SUB_KEY, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

template <typename Function>
Function RuntimeEntry(const char* name) {
    // Looked up at run time: older systems lack some of them.
    HMODULE automation = GetModuleHandleA("oleaut32.dll");
    return automation != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(automation, name)))
                                 : nullptr;
}

// The library's key for the neutral locale. The library's own locale is U.S.
// English, but the universal marshaler of some systems (Wine's among them)
// looks the library up under the neutral locale only; without this key no
// call could be marshaled there.
std::string NeutralLocaleKey(ITypeLib* library) {
    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes))) return {};
    const std::string key = "TypeLib\\" + GuidText(attributes->guid) + "\\" + std::to_string(attributes->wMajorVerNum) +
                            "." + std::to_string(attributes->wMinorVerNum) + "\\0\\" +
                            (attributes->syskind == SYS_WIN64 ? "win64" : "win32");
    library->ReleaseTLibAttr(attributes);
    return key;
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

    UniqueRegKey userClasses;
    HKEY root = HKEY_CLASSES_ROOT;
    if (!machine) {
        if (RegApiCreateKey(HKEY_CURRENT_USER, kUserClasses, RegAccess::All, userClasses.put()) != ERROR_SUCCESS) {
            throw ENorvaleError("Error creating system registry entry");
        }
        root = userClasses.get();
    }
    WriteDefaultValue(root, ClassKey{NeutralLocaleKey(library), exePath});
    for (const auto& key : ClassKeys(cls, library, exePath)) WriteDefaultValue(root, key);
}

void UnregisterServer(const TComClass& cls, ITypeLib* library) {
    // The neutral-locale key first, so that the platform's removal of the
    // library finds its version key as it made it.
    const std::string neutralKey = NeutralLocaleKey(library);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, neutralKey.c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, PathPartOfPath(neutralKey).substr(0, PathPartOfPath(neutralKey).size() - 1).c_str());
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
    UniqueRegKey userClasses;
    RegOpenKeyExA(HKEY_CURRENT_USER, kUserClasses, 0, KEY_ALL_ACCESS, userClasses.put());
    for (HKEY root : {HKEY_CLASSES_ROOT, userClasses.get()}) {
        if (root == nullptr) continue;
        for (const auto& key : KeysToDelete(cls)) RegDeleteKeyA(root, key.c_str());
    }
}

}  // namespace norvale
