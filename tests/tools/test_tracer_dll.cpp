// A library with a tracer of its own, as a plug-in has one: its tracer is
// static, so it is made and ended under the loader's lock. Its link takes
// every batch or, given an event to hang on, returns from no call before the
// event is set, as a server that hangs. norvale_test_helper tracer-dll loads,
// feeds and frees it.

#include <windows.h>

#include <atomic>

#include <norvale/tracer.h>

namespace {

std::atomic<HANDLE> hangUntil{nullptr};

class THangingLink : public norvale::TTracerLink {
public:
    TResult Send(const norvale::TBatchWriter&) override {
        if (hangUntil != nullptr) WaitForSingleObject(hangUntil, INFINITE);
        return TResult::Delivered;
    }
};

norvale::Tracer tracer(std::make_unique<THangingLink>());

}  // namespace

extern "C" __declspec(dllexport) void Trace(HANDLE hangingUntil, int entries) {
    hangUntil = hangingUntil;
    for (int i = 0; i < entries; ++i) tracer.Message(u"entry");
}

// The DLL's own shutdown, which its host calls before it frees the DLL.
extern "C" __declspec(dllexport) int Close(unsigned milliseconds, unsigned long long* delivered,
                                           unsigned long long* dropped) {
    const bool closed = tracer.Close(std::chrono::milliseconds(milliseconds));
    *delivered = tracer.Delivered();
    *dropped = tracer.Dropped();
    return closed ? 1 : 0;
}
