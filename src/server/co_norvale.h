#pragma once

#include <optional>

#include "norvale/Norvale_h.h"
#include "server/server_context.h"
#include "server/smart_com_object.h"
#include "server/trace_server.h"

namespace norvale {

// The one server object every client of the process shares. It opens
// sessions, reads the settings when it starts and when asked, announces
// itself in the output, and is entered weakly in the running-object table.
class TCoNorvale final : public TSmartComObject<INorvale, IDebugProcess> {
public:
    explicit TCoNorvale(TServerContext& context);

    // Reads the settings and writes "Norvale Starting Up"; raises when either
    // fails, and the object is then destroyed at once.
    void Initialize();

    // The last release goes through the server instance, so that no
    // activation can pick up an object that is being destroyed.
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE OpenSession(BSTR iProject, IDebugSession** Value) override;
    HRESULT STDMETHODCALLTYPE OpenClassSession(BSTR iProject, BSTR iModule, BSTR iClass,
                                               IDebugSession** Value) override;
    HRESULT STDMETHODCALLTYPE OpenSessionEx(BSTR iProject, BSTR iModule, BSTR iClass, BSTR iMachine, long iProcessID,
                                            IDebugSession** Value) override;
    HRESULT STDMETHODCALLTYPE RefreshProperties() override;

    // Under the output lock, so that it never overlaps a dispatch.
    void CloseOutputFile();
    // `RefreshProperties` for the program itself: raises with the failure's text.
    void RereadProperties();

    HRESULT STDMETHODCALLTYPE AttachToProcess(long iProcessID_, long* Value) override;
    HRESULT STDMETHODCALLTYPE DetachFromProcess(long iAttachCookie) override;

private:
    friend class TServerInstance;
    ~TCoNorvale() override;

    TServerContext& context_;
    std::optional<TTraceServer> server_;
    DWORD runningObjectCookie_ = 0;
    bool inRunningObjectTable_ = false;
};

}  // namespace norvale
