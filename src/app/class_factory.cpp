#include "app/class_factory.h"

#include "server/server_instance.h"

namespace norvale {

HRESULT TSingleAutoObjectFactory::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT TSingleAutoObjectFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (object != nullptr) *object = nullptr;
    activationSeen_();
    // The server object cannot be aggregated, whatever interface is asked for.
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return context_.Instance.Activate(context_, iid, object);
}

HRESULT TSingleAutoObjectFactory::LockServer(BOOL lock) {
    if (lock) {
        ++locks_;
        context_.ObjectCreated();
        return S_OK;
    }
    int32_t held = locks_.load();
    while (held > 0 && !locks_.compare_exchange_weak(held, held - 1)) {
    }
    if (held > 0) context_.ObjectDestroyed();
    return S_OK;
}

}  // namespace norvale
