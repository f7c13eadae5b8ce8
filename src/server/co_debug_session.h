#pragma once

#include <memory>
#include <string_view>

#include "norvale/Norvale_h.h"
#include "server/smart_com_object.h"
#include "server/trace_server.h"

namespace norvale {

// The session object a client writes through. It converts the automation
// arguments and hands them to its trace session. It does not count towards
// the process's object count. Its class's default interface is IDebugSession;
// the object implements IDebugSession2, which derives from it.
class TCoDebugSession final : public TSmartComObject<IDebugSession2> {
public:
    TCoDebugSession(const TComClass& cls, std::unique_ptr<TTraceSession> session);

    HRESULT STDMETHODCALLTYPE AddMessage(long iThreadID, long iCode, BSTR iMessage) override;
    HRESULT STDMETHODCALLTYPE AddClassMessage(long iThreadID, BSTR iClass, long iCode, BSTR iMessage) override;
    HRESULT STDMETHODCALLTYPE CloseSession() override;
    HRESULT STDMETHODCALLTYPE EnterMethod(long iThreadID, BSTR iMessage) override;
    HRESULT STDMETHODCALLTYPE ExitMethod(long iThreadID, BSTR iMessage) override;
    HRESULT STDMETHODCALLTYPE AddStrings(long iThreadID, long iCode, BSTR iMessage, BSTR iData) override;
    HRESULT STDMETHODCALLTYPE AddBinary(long iThreadID, long iCode, BSTR iMessage, VARIANT iData) override;
    HRESULT STDMETHODCALLTYPE AddEntries(VARIANT iEntries) override;

private:
    std::unique_ptr<TTraceSession> session_;
};

// A BSTR's text as the client sent it, embedded NULs included; null and
// empty alike give the empty text.
std::wstring_view TextOf(BSTR text);

}  // namespace norvale
