#include "capture/debug_output_reader_win32.h"

#include <array>

#include "common/clock.h"
#include "common/errors.h"

namespace norvale {

namespace {

constexpr uint32_t kWantSession = 1;
constexpr uint32_t kWantGlobal = 2;

uint64_t Packed(ChannelStatus status) { return static_cast<uint64_t>(status.state) << 32 | status.error; }

bool InSessionZero() {
    DWORD session = 1;
    return ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0;
}

}  // namespace

TDebugOutputReader::TDebugOutputReader(TDebugStringQueue& queue, ChannelOpener opener, std::function<void()> changed)
    : queue_(queue),
      opener_(std::move(opener)),
      changed_(std::move(changed)),
      control_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      inSessionZero_(InSessionZero()) {
    if (!control_) throw ENorvaleError("cannot make the debug output reader's event", HRESULT_FROM_WIN32(GetLastError()));
    thread_ = std::thread([this] { Run(); });
}

TDebugOutputReader::~TDebugOutputReader() { Stop(); }

void TDebugOutputReader::Want(bool session, bool global) {
    wanted_ = (session ? kWantSession : 0) | (global ? kWantGlobal : 0);
    SetEvent(control_.get());
}

ChannelStatus TDebugOutputReader::Load(const Channel& channel) {
    const uint64_t packed = channel.status.load();
    return {static_cast<ChannelState>(packed >> 32), static_cast<uint32_t>(packed)};
}

void TDebugOutputReader::Stop() {
    if (!thread_.joinable()) return;
    ending_ = true;
    SetEvent(control_.get());
    thread_.join();
}

void TDebugOutputReader::Run() {
    // The wait answers the first signalled handle it is given: after a
    // string of one stream, the other stream is listed first, so that a busy
    // one cannot starve it.
    bool globalFirst = false;
    while (!ending_) {
        HANDLE waits[3] = {control_.get()};
        const TDebugOutputChannel* channels[3] = {};
        DWORD count = 1;
        for (Channel* channel : globalFirst ? std::array{&global_, &session_} : std::array{&session_, &global_}) {
            if (!channel->open) continue;
            channels[count] = &*channel->open;
            waits[count++] = channel->open->DataReady();
        }
        const DWORD woken = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
        try {
            if (woken == WAIT_OBJECT_0) {
                if (!ending_) Apply();
            } else if (woken > WAIT_OBJECT_0 && woken < WAIT_OBJECT_0 + count) {
                const TDebugOutputChannel& channel = *channels[woken - WAIT_OBJECT_0];
                Read(channel);
                globalFirst = session_.open && &channel == &*session_.open;
            }
        } catch (const std::exception&) {
            // Out of memory, say: that string is lost and counted, and the
            // writers are served on.
            queue_.CountLost();
        }
    }
    session_.open.reset();
    global_.open.reset();
}

void TDebugOutputReader::Read(const TDebugOutputChannel& channel) {
    // On the stack: nothing between the string's arrival and the buffer's
    // release may allocate or wait.
    char text[TDebugOutputChannel::kMaxText];
    DWORD processId = 0;
    const size_t length = channel.Copy(processId, text);
    channel.Release();
    const LocalDateTime time = LocalNow();
    FILETIME arrived{};
    GetSystemTimeAsFileTime(&arrived);
    queue_.Push(names_.Of(processId, arrived), std::string_view(text, length), time);
}

void TDebugOutputReader::Apply() {
    const uint32_t wanted = wanted_;
    Apply(session_, (wanted & kWantSession) != 0, L"");
    if (!inSessionZero_) {
        Apply(global_, (wanted & kWantGlobal) != 0, kGlobalPrefix);
        return;
    }
    // In session 0 (a service's) the session's names are the global ones:
    // the global stream is the one already read.
    const uint64_t status = (wanted & kWantGlobal) != 0 ? session_.status.load() : Packed({});
    if (global_.status.exchange(status) != status) changed_();
}

void TDebugOutputReader::Apply(Channel& channel, bool wanted, std::wstring_view prefix) {
    ChannelStatus status;
    if (!wanted) {
        channel.open.reset();
    } else if (channel.open) {
        status = channel.open->Status();
    } else {
        TDebugOutputChannel opened = opener_(prefix);
        status = opened.Status();
        if (opened.IsOpen()) channel.open.emplace(std::move(opened));
    }
    if (channel.status.exchange(Packed(status)) != Packed(status)) changed_();
}

}  // namespace norvale
