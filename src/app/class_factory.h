#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <cstdint>
#include <functional>

#include "server/server_context.h"

namespace norvale {

// The factory of class Norvale, offered for multiple use: every activation of
// every client gets the one server object of the process. It lives as long
// as the process and is not reference counted.
class TSingleAutoObjectFactory final : public IClassFactory {
public:
    using ActivationSeen = std::function<void()>;

    TSingleAutoObjectFactory(TServerContext& context, ActivationSeen activationSeen)
        : context_(context), activationSeen_(std::move(activationSeen)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    TServerContext& context_;
    ActivationSeen activationSeen_;
    // The locks clients hold: an unlock without a lock of its own must not
    // lower the count that keeps the process alive for other clients.
    std::atomic<int32_t> locks_{0};
};

}  // namespace norvale
