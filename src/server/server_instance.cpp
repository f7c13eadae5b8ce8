#include "server/server_instance.h"

#include "server/co_norvale.h"

namespace norvale {

std::string ActivationFailureText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

HRESULT TServerInstance::Activate(TServerContext& context, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    std::lock_guard lock(lifetime_);
    if (instance_ != nullptr) return instance_->QueryInterface(iid, object);

    TCoNorvale* made = nullptr;
    try {
        made = new TCoNorvale(context);
        // A reference of its own while it starts, so that handing out and
        // releasing pointers to itself cannot destroy it.
        made->AddRef();
        made->Initialize();
    } catch (const std::exception& failure) {
        if (made != nullptr) delete made;
        report_(ActivationFailureText(failure.what()));
        return E_UNEXPECTED;
    }
    instance_ = made;
    const HRESULT result = made->QueryInterface(iid, object);
    // Drops the starting reference; without the interface asked for, that
    // was the last one, and the object goes at once.
    made->Release();
    return result;
}

ComPtr<TCoNorvale> TServerInstance::Current() {
    std::lock_guard lock(lifetime_);
    return ComPtr<TCoNorvale>::Share(instance_);
}

ULONG TServerInstance::ReleaseServer(TCoNorvale& server) {
    std::lock_guard lock(lifetime_);
    const ULONG left = server.DropReference();
    if (left == 0) {
        if (instance_ == &server) instance_ = nullptr;
        delete &server;
    }
    return left;
}

}  // namespace norvale
