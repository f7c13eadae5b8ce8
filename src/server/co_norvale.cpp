#include "server/co_norvale.h"

#include "common/text.h"
#include "server/co_debug_session.h"
#include "server/server_instance.h"

namespace norvale {

TCoNorvale::TCoNorvale(TServerContext& context)
    : TSmartComObject(context.NorvaleClass),
      context_(context),
      server_(std::in_place, context.OutputLock, context.Output, context.Registry, LocalNow, context.LocalTimeOf) {
    context_.ObjectCreated();
}

void TCoNorvale::Initialize() {
    // Weak: the table must not keep the server alive.
    if (context_.EnterInRunningObjectTable &&
        SUCCEEDED(RegisterActiveObject(static_cast<INorvale*>(this), context_.NorvaleClass.ClassId,
                                       ACTIVEOBJECT_WEAK, &runningObjectCookie_))) {
        inRunningObjectTable_ = true;
    }
    server_->Start();
}

TCoNorvale::~TCoNorvale() {
    // The trace server's end writes "Norvale Shutting Down" and closes the
    // file; the entry and the count go after it.
    server_.reset();
    if (inRunningObjectTable_) RevokeActiveObject(runningObjectCookie_, nullptr);
    context_.ObjectDestroyed();
}

ULONG TCoNorvale::Release() { return context_.Instance.ReleaseServer(*this); }

HRESULT TCoNorvale::OpenSession(BSTR iProject, IDebugSession** Value) {
    return OpenSessionEx(iProject, nullptr, nullptr, nullptr, 0, Value);
}

HRESULT TCoNorvale::OpenClassSession(BSTR iProject, BSTR iModule, BSTR iClass, IDebugSession** Value) {
    return OpenSessionEx(iProject, iModule, iClass, nullptr, 0, Value);
}

HRESULT TCoNorvale::OpenSessionEx(BSTR iProject, BSTR iModule, BSTR iClass, BSTR iMachine, long iProcessID,
                                  IDebugSession** Value) {
    if (Value != nullptr) *Value = nullptr;
    return Boundary([&] {
        if (Value == nullptr) throw ENorvaleError("OpenSession needs a result slot", E_POINTER);
        const TraceSource naming{std::wstring(TextOf(iProject)), std::wstring(TextOf(iModule)),
                                 std::wstring(TextOf(iClass)), std::wstring(TextOf(iMachine)),
                                 static_cast<int32_t>(iProcessID)};
        // "Session opened.", the registry entry and the hand-over happen
        // with no other output in between.
        TMutexLock lock(context_.OutputLock);
        auto session = std::make_unique<TCoDebugSession>(context_.SessionClass, server_->OpenSession(naming));
        session->QueryInterface(IID_IDebugSession, reinterpret_cast<void**>(Value));
        session.release();
    });
}

HRESULT TCoNorvale::RefreshProperties() {
    return Boundary([&] { server_->RefreshProperties(); });
}

void TCoNorvale::CloseOutputFile() { server_->CloseOutputFile(); }

void TCoNorvale::RereadProperties() { server_->RefreshProperties(); }

HRESULT TCoNorvale::AttachToProcess(long iProcessID_, long* Value) {
    return Boundary([&] {
        const auto processId = static_cast<uint32_t>(iProcessID_);
        context_.Diagnostic("Attaching to process " + HexText(processId));
        if (Value != nullptr) *Value = 1;
        // However the start goes, the caller has asked and is answered.
        try {
            context_.AttachToProcess(processId);
        } catch (const std::exception& failure) {
            context_.Diagnostic(failure.what());
        }
    });
}

HRESULT TCoNorvale::DetachFromProcess(long iAttachCookie) {
    return Boundary([&] { context_.Diagnostic("Detaching from process " + HexText(static_cast<uint32_t>(iAttachCookie))); });
}

}  // namespace norvale
