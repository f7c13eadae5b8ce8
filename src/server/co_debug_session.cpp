#include "server/co_debug_session.h"

#include "server/batch_reader.h"
#include "server/binary_data.h"

namespace norvale {

std::wstring_view TextOf(BSTR text) {
    return text == nullptr ? std::wstring_view() : std::wstring_view(text, SysStringLen(text));
}

TCoDebugSession::TCoDebugSession(const TComClass& cls, std::unique_ptr<TTraceSession> session)
    : TSmartComObject(cls), session_(std::move(session)) {}

HRESULT TCoDebugSession::AddMessage(long iThreadID, long iCode, BSTR iMessage) {
    return Boundary([&] { session_->AddMessage(iThreadID, iCode, TextOf(iMessage)); });
}

HRESULT TCoDebugSession::AddClassMessage(long iThreadID, BSTR iClass, long iCode, BSTR iMessage) {
    return Boundary([&] { session_->AddClassMessage(iThreadID, TextOf(iClass), iCode, TextOf(iMessage)); });
}

HRESULT TCoDebugSession::CloseSession() {
    return Boundary([&] { session_->CloseSession(); });
}

HRESULT TCoDebugSession::EnterMethod(long iThreadID, BSTR iMessage) {
    return Boundary([&] { session_->EnterMethod(iThreadID, TextOf(iMessage)); });
}

HRESULT TCoDebugSession::ExitMethod(long iThreadID, BSTR iMessage) {
    return Boundary([&] { session_->ExitMethod(iThreadID, TextOf(iMessage)); });
}

HRESULT TCoDebugSession::AddStrings(long iThreadID, long iCode, BSTR iMessage, BSTR iData) {
    return Boundary([&] { session_->AddStrings(iThreadID, iCode, TextOf(iMessage), TextOf(iData)); });
}

HRESULT TCoDebugSession::AddBinary(long iThreadID, long iCode, BSTR iMessage, VARIANT iData) {
    return Boundary([&] {
        // Like every call on a session whose server object is gone, this one
        // does nothing, whatever data it was given.
        if (session_->Detached()) return;
        const std::vector<uint8_t> bytes = BytesOfVariant(iData);
        session_->AddBinary(iThreadID, iCode, TextOf(iMessage), bytes);
    });
}

HRESULT TCoDebugSession::AddEntries(VARIANT iEntries) {
    return Boundary([&] {
        if (session_->Detached()) return;
        // The session refuses a time it cannot make local as the reader
        // refuses a fault of the format: before anything is written.
        try {
            session_->AddEntries(ReadBatch(BytesOfByteArray(iEntries)));
        } catch (const EBatchFormat& fault) {
            throw ENorvaleError(fault.what(), E_INVALIDARG);
        }
    });
}

}  // namespace norvale
