#pragma once

#include <atomic>
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
    HRESULT Activate(TServerContext& context, REFIID iid, void** object) noexcept;

    // The live server object with a reference of the caller's, or none.
    ComPtr<TCoNorvale> Current();

    // Whether a server object lives, as last published: read without any
    // lock, so that the main thread never waits out an object's start or end.
    bool Exists() const;

    // What the shell does, without taking a reference: its output file;
    // without one, the file is not open and there is nothing to close. The
    // properties dialog makes the live object re-read the settings; that
    // raises on failure, and is false when no object lives. Each waits for
    // an object's start or end.
    void CloseOutputFile();
    bool RefreshProperties();

    ULONG ReleaseServer(TCoNorvale& server);

    // The process is ending: a server object still held by clients is not
    // destroyed (it writes no "Norvale Shutting Down"), but its file is closed
    // so that no buffered line is lost; no object is made or destroyed after.
    void EndOfProcess();

private:
    HRESULT MakeOrShare(TServerContext& context, REFIID iid, void** object);

    std::recursive_mutex lifetime_;
    TCoNorvale* instance_ = nullptr;
    std::atomic<bool> live_{false};
    bool ending_ = false;
    FailureReport report_;
};

// The text of the activation failure box: a full stop is appended when the
// message's last character sorts after ".".
std::string ActivationFailureText(const std::string& message);

}  // namespace norvale
