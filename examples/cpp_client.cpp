// A compiled client of Norvale: it gets the shared server object, opens a
// session and sends one call of each kind through the virtual table.
//
// Build against the generated Norvale_h.h and Norvale_i.c (see the README).

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <initializer_list>

#include <norvale/Norvale_h.h>

namespace {

// Fails loudly: an example should show what went wrong.
bool Check(HRESULT result, const char* what) {
    if (SUCCEEDED(result)) return true;
    std::fprintf(stderr, "%s failed: 0x%08lx\n", what, static_cast<unsigned long>(result));
    return false;
}

BSTR Text(const wchar_t* text) { return SysAllocString(text); }

}  // namespace

int main() {
    if (!Check(CoInitializeEx(nullptr, COINIT_MULTITHREADED), "CoInitializeEx")) return 1;
    int exitCode = 1;
    INorvale* norvale = nullptr;
    IDebugSession* session = nullptr;
    BSTR project = Text(L"Billing");
    BSTR module = Text(L"Core");
    BSTR cls = Text(L"TInvoice");
    BSTR machine = Text(L"WS12");
    BSTR message = Text(L"Posting done");
    BSTR method = Text(L"Post");
    BSTR heading = Text(L"Invoice lines");
    BSTR lines = Text(L"first line\r\nsecond line\r\n");
    BSTR dump = Text(L"Invoice bytes");
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 20);
    if (bytes != nullptr) {
        unsigned char* data = nullptr;
        SafeArrayAccessData(bytes, reinterpret_cast<void**>(&data));
        for (int i = 0; i < 20; ++i) data[i] = static_cast<unsigned char>('A' + i);
        SafeArrayUnaccessData(bytes);
    }
    VARIANT binary;
    VariantInit(&binary);
    V_VT(&binary) = VT_ARRAY | VT_UI1;
    V_ARRAY(&binary) = bytes;

    if (Check(CoCreateInstance(CLSID_Norvale, nullptr, CLSCTX_LOCAL_SERVER, IID_INorvale,
                               reinterpret_cast<void**>(&norvale)),
              "CoCreateInstance") &&
        Check(norvale->OpenSessionEx(project, module, cls, machine, static_cast<long>(GetCurrentProcessId()), &session),
              "OpenSessionEx") &&
        Check(session->AddMessage(static_cast<long>(GetCurrentThreadId()), 10, message), "AddMessage") &&
        Check(session->EnterMethod(static_cast<long>(GetCurrentThreadId()), method), "EnterMethod") &&
        Check(session->AddStrings(static_cast<long>(GetCurrentThreadId()), 0, heading, lines), "AddStrings") &&
        Check(session->AddBinary(static_cast<long>(GetCurrentThreadId()), 0, dump, binary), "AddBinary") &&
        Check(session->ExitMethod(static_cast<long>(GetCurrentThreadId()), method), "ExitMethod") &&
        Check(session->CloseSession(), "CloseSession")) {
        exitCode = 0;
    }

    if (session != nullptr) session->Release();
    if (norvale != nullptr) norvale->Release();
    VariantClear(&binary);
    for (BSTR text : {project, module, cls, machine, message, method, heading, lines, dump}) SysFreeString(text);
    CoUninitialize();
    return exitCode;
}
