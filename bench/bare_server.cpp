// The transport floor for the throughput benchmark: a local server whose
// objects have the very interfaces of Norvale (same type library, same
// marshaling) and do nothing. Its class is registered only by this program.
//
//   norvale_bare_server /RegServer     register, then exit
//   norvale_bare_server -Embedding     serve until the last client goes

#include <windows.h>
#include <objbase.h>

#include <string>

#include "common/text.h"
#include "norvale/Norvale_h.h"
#include "server/smart_com_object.h"

namespace norvale {
namespace {

// {00000001-6E4F-4B3A-8C24-4E6F7276616C}
constexpr CLSID kBareClass = {0x00000001, 0x6E4F, 0x4B3A, {0x8C, 0x24, 0x4E, 0x6F, 0x72, 0x76, 0x61, 0x6C}};

DWORD mainThread = 0;

class TBareSession final : public TSmartComObject<IDebugSession2> {
public:
    explicit TBareSession(const TComClass& cls) : TSmartComObject(cls) {}
    HRESULT STDMETHODCALLTYPE AddMessage(long, long, BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AddClassMessage(long, BSTR, long, BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CloseSession() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnterMethod(long, BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ExitMethod(long, BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AddStrings(long, long, BSTR, BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AddBinary(long, long, BSTR, VARIANT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AddEntries(VARIANT) override { return S_OK; }
};

class TBareServer final : public TSmartComObject<INorvale> {
public:
    TBareServer(const TComClass& cls, const TComClass& sessionClass) : TSmartComObject(cls), sessionClass_(sessionClass) {
        CoAddRefServerProcess();
    }
    ~TBareServer() override {
        if (CoReleaseServerProcess() == 0) PostThreadMessageA(mainThread, WM_QUIT, 0, 0);
    }
    HRESULT STDMETHODCALLTYPE OpenSession(BSTR, IDebugSession** value) override { return Open(value); }
    HRESULT STDMETHODCALLTYPE OpenClassSession(BSTR, BSTR, BSTR, IDebugSession** value) override {
        return Open(value);
    }
    HRESULT STDMETHODCALLTYPE OpenSessionEx(BSTR, BSTR, BSTR, BSTR, long, IDebugSession** value) override {
        return Open(value);
    }
    HRESULT STDMETHODCALLTYPE RefreshProperties() override { return S_OK; }

private:
    HRESULT Open(IDebugSession** value) {
        return (new TBareSession(sessionClass_))->QueryInterface(IID_IDebugSession, reinterpret_cast<void**>(value));
    }
    const TComClass& sessionClass_;
};

class TBareFactory final : public IClassFactory {
public:
    TBareFactory(const TComClass& cls, const TComClass& sessionClass) : class_(cls), sessionClass_(sessionClass) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = (iid == IID_IUnknown || iid == IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* server = new TBareServer(class_, sessionClass_);
        server->AddRef();
        const HRESULT result = server->QueryInterface(iid, object);
        server->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    const TComClass& class_;
    const TComClass& sessionClass_;
};

std::string ModulePath() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

int Run() {
    const std::string path = ModulePath();
    if (std::string(GetCommandLineA()).find("RegServer") != std::string::npos) {
        wchar_t clsid[40] = {};
        StringFromGUID2(kBareClass, clsid, 40);
        std::string key = "CLSID\\";
        for (const wchar_t* c = clsid; *c != 0; ++c) key += static_cast<char>(*c);
        key += "\\LocalServer32";
        return RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, path.c_str(), static_cast<DWORD>(path.size())) ==
                       ERROR_SUCCESS
                   ? 0
                   : 1;
    }
    // The interfaces' type information comes from Norvale beside this program.
    const ComPtr<ITypeLib> library = LoadTypeLibraryFrom(PathPartOfPath(path) + "norvale.exe");
    const TComClass serverClass = ReadComClass(library.get(), CLSID_Norvale);
    const TComClass sessionClass = ReadComClass(library.get(), CLSID_DebugSession);
    TBareFactory factory(serverClass, sessionClass);
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(kBareClass, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie))) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    CoRevokeClassObject(cookie);
    return 0;
}

}  // namespace
}  // namespace norvale

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    norvale::mainThread = GetCurrentThreadId();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int result = 1;
    try {
        result = norvale::Run();
    } catch (const std::exception&) {
    }
    CoUninitialize();
    return result;
}
