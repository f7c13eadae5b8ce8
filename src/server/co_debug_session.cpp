#include "server/co_debug_session.h"

#include "common/ansi_text.h"
#include "server/binary_data.h"

namespace norvale {

std::string AnsiOf(BSTR text) {
    const TStageTimer timer(CallStage::Conversion);
    return text == nullptr ? std::string() : WideToAnsi(std::wstring_view(text, SysStringLen(text)));
}

TCoDebugSession::TCoDebugSession(const TComClass& cls, std::unique_ptr<TTraceSession> session)
    : TSmartComObject(cls), session_(std::move(session)) {}

HRESULT TCoDebugSession::AddMessage(long iThreadID, long iCode, BSTR iMessage) {
    return Boundary([&] { session_->AddMessage(iThreadID, iCode, AnsiOf(iMessage)); });
}

HRESULT TCoDebugSession::AddClassMessage(long iThreadID, BSTR iClass, long iCode, BSTR iMessage) {
    return Boundary([&] { session_->AddClassMessage(iThreadID, AnsiOf(iClass), iCode, AnsiOf(iMessage)); });
}

HRESULT TCoDebugSession::CloseSession() {
    return Boundary([&] { session_->CloseSession(); });
}

HRESULT TCoDebugSession::EnterMethod(long iThreadID, BSTR iMessage) {
    return Boundary([&] { session_->EnterMethod(iThreadID, AnsiOf(iMessage)); });
}

HRESULT TCoDebugSession::ExitMethod(long iThreadID, BSTR iMessage) {
    return Boundary([&] { session_->ExitMethod(iThreadID, AnsiOf(iMessage)); });
}

HRESULT TCoDebugSession::AddStrings(long iThreadID, long iCode, BSTR iMessage, BSTR iData) {
    return Boundary([&] { session_->AddStrings(iThreadID, iCode, AnsiOf(iMessage), AnsiOf(iData)); });
}

HRESULT TCoDebugSession::AddBinary(long iThreadID, long iCode, BSTR iMessage, VARIANT iData) {
    return Boundary([&] {
        // Like every call on a session whose server object is gone, this one
        // does nothing, whatever data it was given.
        if (session_->Detached()) return;
        const std::vector<uint8_t> bytes = BytesOfVariant(iData);
        session_->AddBinary(iThreadID, iCode, AnsiOf(iMessage), bytes);
    });
}

}  // namespace norvale
