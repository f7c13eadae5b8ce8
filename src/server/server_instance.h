#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "common/com_ptr.h"

namespace norvale {

class TCoNorvale;
struct TServerContext;

// `ServerInstance`: the live server object of the process, or none. Every
// activation gets it, and a new one is made only when there is none. Making
// and destroying happen under one lock, so two first activations at once still
// share one object and none can pick up an object that is being destroyed.
class TServerInstance {
public:
    // How a failure to make the server object is shown ("DAX Error").
    using FailureReport = std::function<void(const std::string& message)>;

    explicit TServerInstance(FailureReport report) : report_(std::move(report)) {}

    // An activation: the server object's interface `iid`, making the object
    // first when there is none.
    HRESULT Activate(TServerContext& context, REFIID iid, void** object);

    // The live server object with a reference of the caller's, or none.
    ComPtr<TCoNorvale> Current();

    ULONG ReleaseServer(TCoNorvale& server);

private:
    std::recursive_mutex lifetime_;
    TCoNorvale* instance_ = nullptr;
    FailureReport report_;
};

// The text of the activation failure box: a full stop is appended when the
// message's last character sorts after ".".
std::string ActivationFailureText(const std::string& message);

}  // namespace norvale
