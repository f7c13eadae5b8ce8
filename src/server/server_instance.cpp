#include "server/server_instance.h"

#include <optional>

#include "server/co_norvale.h"

namespace norvale {

namespace {

// Counts as a live object for as long as it exists, so that an
// automation-mode process cannot end under the failure box of an activation.
class TObjectCountHold {
public:
    explicit TObjectCountHold(TServerContext& context) : context_(context) { context_.ObjectCreated(); }
    ~TObjectCountHold() { context_.ObjectDestroyed(); }
    TObjectCountHold(const TObjectCountHold&) = delete;
    TObjectCountHold& operator=(const TObjectCountHold&) = delete;

private:
    TServerContext& context_;
};

}  // namespace

std::string ActivationFailureText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

HRESULT TServerInstance::Activate(TServerContext& context, REFIID iid, void** object) noexcept {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    try {
        return MakeOrShare(context, iid, object);
    } catch (...) {
        // Only the failure report itself can get here, out of memory.
        return E_UNEXPECTED;
    }
}

HRESULT TServerInstance::MakeOrShare(TServerContext& context, REFIID iid, void** object) {
    std::optional<TObjectCountHold> hold;
    std::string failure;
    {
        std::lock_guard lock(lifetime_);
        if (ending_) return CO_E_SERVER_STOPPING;
        if (instance_ != nullptr) return instance_->QueryInterface(iid, object);

        TCoNorvale* made = nullptr;
        try {
            made = new TCoNorvale(context);
            // A reference of its own while it starts, so that handing out and
            // releasing pointers to itself cannot destroy it.
            made->AddRef();
            made->Initialize();
            instance_ = made;
            live_ = true;
            const HRESULT result = made->QueryInterface(iid, object);
            // Drops the starting reference; without the interface asked for,
            // that was the last one, and the object goes at once.
            made->Release();
            return result;
        } catch (const std::exception& error) {
            hold.emplace(context);
            delete made;
            failure = error.what();
        }
    }
    // Outside the lock: other activations go on while the user reads the box.
    report_(ActivationFailureText(failure));
    return E_UNEXPECTED;
}

ComPtr<TCoNorvale> TServerInstance::Current() {
    std::lock_guard lock(lifetime_);
    return ComPtr<TCoNorvale>::Share(instance_);
}

bool TServerInstance::Exists() const { return live_.load(); }

void TServerInstance::CloseOutputFile() {
    std::lock_guard lock(lifetime_);
    if (instance_ != nullptr) instance_->CloseOutputFile();
}

bool TServerInstance::RefreshProperties() {
    std::lock_guard lock(lifetime_);
    if (instance_ == nullptr) return false;
    instance_->RereadProperties();
    return true;
}

ULONG TServerInstance::ReleaseServer(TCoNorvale& server) {
    std::lock_guard lock(lifetime_);
    const ULONG left = server.DropReference();
    if (left == 0 && !ending_) {
        if (instance_ == &server) {
            instance_ = nullptr;
            live_ = false;
        }
        delete &server;
    }
    return left;
}

void TServerInstance::EndOfProcess() {
    std::lock_guard lock(lifetime_);
    ending_ = true;
    if (instance_ == nullptr) return;
    try {
        instance_->CloseOutputFile();
    } catch (const std::exception&) {
        // Nobody is left to tell; the process ends either way.
    }
}

}  // namespace norvale
