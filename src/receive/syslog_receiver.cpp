// Winsock's header brings windows.h, after itself as it must.
#include "common/sockets.h"

#include "receive/syslog_receiver.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include <map>
#include <memory>

#include "common/call_profile.h"
#include "common/clock.h"
#include "receive/connection_room.h"
#include "forward/syslog_message.h"
#include "receive/listen_address.h"
#include "receive/received_message.h"
#include "receive/received_text.h"
#include "receive/syslog_frames.h"

namespace norvale {

namespace {

using namespace std::chrono_literals;

// A stream's read, and a datagram's most: a flood is read in few calls,
// which cost far more than the bytes.
constexpr size_t kReadSize = 262144;
// Datagrams read in one round, so that a flood of them starves no stream.
constexpr int kDatagramsPerRound = 256;
// How soon the thread looks again at a change of address, at its end, and,
// while frames wait for room, at the queue.
constexpr auto kLook = 200ms;
constexpr auto kLookWhileFull = 10ms;
// Senders whose naming is kept for their next messages, and the bytes they
// may hold; a sender that varies its names without end makes the list start
// again.
constexpr size_t kMostSources = 4096;
constexpr size_t kMostSourceBytes = size_t{16} << 20;

class EBindFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string ReasonOf(int error) {
    switch (BindFailureOf(error)) {
        case BindFailure::AddressInUse: return "another program uses the address.";
        case BindFailure::NoPermission:
            return "no permission to use the address (another program holds it, or its port needs privileges).";
        case BindFailure::NoSuchAddress: return "this machine has no such address.";
        default: return SocketErrorText(error);
    }
}

using AddressList = std::unique_ptr<addrinfo, decltype(&freeaddrinfo)>;

// Numbers only: a name to look up could hold the thread for as long as the
// resolver takes.
UniqueSocket Bound(const SyslogAddress& endpoint) {
    const bool stream = endpoint.transport == SyslogTransport::Tcp;
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = stream ? SOCK_STREAM : SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(endpoint.host.c_str(), std::to_string(endpoint.port).c_str(), &hints, &found) != 0) {
        throw EBindFailure("\"" + endpoint.host + "\" is no address of this machine (0.0.0.0 for every interface).");
    }
    const AddressList addresses(found, freeaddrinfo);
    UniqueSocket socket(::socket(found->ai_family, found->ai_socktype, found->ai_protocol));
    if (!socket) throw EBindFailure(SocketErrorText(LastSocketError()));
    ClaimAddress(socket.get(), stream);
    SetNonBlocking(socket.get());
    if (::bind(socket.get(), found->ai_addr, static_cast<socklen_t>(found->ai_addrlen)) != 0 ||
        (stream && ::listen(socket.get(), SOMAXCONN) != 0)) {
        throw EBindFailure(ReasonOf(LastSocketError()));
    }
    return socket;
}

// The sender as the allowed list matches it.
SenderAddress SenderOf(const sockaddr_storage& from) {
    if (from.ss_family == AF_INET6) {
        const auto& address = reinterpret_cast<const sockaddr_in6&>(from).sin6_addr;
        return SenderAddressOf(std::span(reinterpret_cast<const uint8_t*>(&address), 16));
    }
    const auto& address = reinterpret_cast<const sockaddr_in&>(from).sin_addr;
    return SenderAddressOf(std::span(reinterpret_cast<const uint8_t*>(&address), 4));
}

// The message's own time, when it has one the platform can show.
LocalDateTime ArrivalOrOwnTime(const std::optional<uint64_t>& utcTicks) {
    if (utcTicks) {
        try {
            return LocalTimeOfFileTime(*utcTicks);
        } catch (const std::exception&) {
            // The arrival's time stands.
        }
    }
    return LocalNow();
}

}  // namespace

class TSyslogReceiver::TLoop {
public:
    explicit TLoop(TSyslogReceiver& owner) : owner_(owner) { buffer_.resize(kReadSize); }
    void Run();

private:
    struct TListener {
        UniqueSocket socket;
        bool stream = false;
    };
    struct TConnection {
        UniqueSocket socket;
        std::string peer;
        TSyslogFrames frames;
        // Its last whole frame, or its accepting: what idle counts from.
        std::chrono::steady_clock::time_point lastFrame;
        // Frames wait in `frames` for room in the queue.
        bool held = false;
    };

    void Rebind(const std::vector<SyslogAddress>& endpoints);
    // True for a sender the allowed list leaves out, counted.
    bool Refused(const sockaddr_storage& from);
    void Accept(SocketHandle listener);
    // Closes the connection that must go for one from `peer`, if any.
    void MakeRoom(const std::string& peer);
    // Queues what the connection's sender sent, whatever the bound, as its
    // frames cannot wait any longer.
    void EndStream(TConnection& connection);
    void ReadDatagrams(SocketHandle socket);
    // False once the connection ended.
    bool ReadStream(TConnection& connection);
    // Queues the connection's frames while there is room.
    void QueueFrames(TConnection& connection);
    // Adds the frame's entry to `made_`, unless its handling raised.
    void Make(std::string_view frame, bool cut, const std::string& sender);
    ReceivedEntry EntryOf(std::string_view frame, bool cut, const std::string& sender);
    std::shared_ptr<const TReceivedSource> SourceOf(const ReceivedMessage& message);

    TSyslogReceiver& owner_;
    TReceiveQueue& queue_ = owner_.queue_;
    std::vector<TListener> listeners_;
    std::vector<std::unique_ptr<TConnection>> connections_;
    SenderAllow allow_;
    std::map<std::wstring, std::shared_ptr<const TReceivedSource>> sources_;
    size_t sourceBytes_ = 0;
    std::wstring key_;
    // A read's entries on their way to the queue.
    std::vector<ReceivedEntry> made_;
    std::string buffer_;
};

TSyslogReceiver::TSyslogReceiver(TReceiveQueue& queue, ReceiveLimits limits, MessageProbe probe)
    : queue_(queue), limits_(limits), probe_(std::move(probe)), thread_([this] { TLoop(*this).Run(); }) {}

TSyslogReceiver::~TSyslogReceiver() {
    stop_ = true;
    thread_.join();
}

void TSyslogReceiver::Listen(std::vector<SyslogAddress> endpoints, SenderAllow allow) {
    std::lock_guard lock(lock_);
    wanted_ = std::move(endpoints);
    allow_ = std::move(allow);
    changed_ = true;
}

ReceiveStatus TSyslogReceiver::Status() const {
    ReceiveStatus status;
    {
        std::lock_guard lock(lock_);
        status.on = !wanted_.empty();
        status.problem = problem_;
    }
    status.counts = {received_.load(), malformed_.load(), queue_.Dropped(), cut_.load(), refused_.load(),
                     replaced_.load(), madeRoom_.load(), idle_.load()};
    return status;
}

void TSyslogReceiver::TLoop::Run() {
    try {
        StartSockets();
    } catch (const std::exception& failure) {
        std::lock_guard lock(owner_.lock_);
        owner_.problem_ = std::string("Receiving is off: ") + failure.what();
        return;
    }
    std::vector<PollEntry> polled;
    std::vector<TConnection*> polledConnections;
    while (!owner_.stop_) {
        std::optional<std::vector<SyslogAddress>> wanted;
        {
            std::lock_guard lock(owner_.lock_);
            if (owner_.changed_) wanted = owner_.wanted_, allow_ = owner_.allow_;
            owner_.changed_ = false;
        }
        if (wanted) Rebind(*wanted);

        bool held = false;
        polled.clear();
        polledConnections.clear();
        for (const TListener& listener : listeners_) polled.push_back(PollEntry{listener.socket.get(), POLLIN, 0});
        for (const auto& connection : connections_) {
            if (connection->held) QueueFrames(*connection);
            held = held || connection->held;
            // A connection whose frames wait is not read: its sender waits.
            if (connection->held) continue;
            polled.push_back(PollEntry{connection->socket.get(), POLLIN, 0});
            polledConnections.push_back(connection.get());
        }
        const auto look = held ? kLookWhileFull : kLook;
        if (polled.empty()) {
            std::this_thread::sleep_for(look);
            continue;
        }
        // Nothing ready is as good as a look: the quiet connections are
        // counted out all the same.
        if (PollSockets(polled, std::chrono::duration_cast<std::chrono::milliseconds>(look)) < 0) {
            for (PollEntry& entry : polled) entry.revents = 0;
        }

        std::vector<TConnection*> ended;
        for (size_t i = 0; i < polledConnections.size(); ++i) {
            if (polled[listeners_.size() + i].revents == 0) continue;
            if (!ReadStream(*polledConnections[i])) ended.push_back(polledConnections[i]);
        }
        // Before accepting: `ended` names connections by their memory, which
        // a new one could take.
        std::erase_if(connections_, [&](const std::unique_ptr<TConnection>& connection) {
            return std::find(ended.begin(), ended.end(), connection.get()) != ended.end();
        });
        for (size_t i = 0; i < listeners_.size(); ++i) {
            if (polled[i].revents == 0) continue;
            if (listeners_[i].stream) {
                Accept(listeners_[i].socket.get());
            } else {
                ReadDatagrams(listeners_[i].socket.get());
            }
        }
        const auto now = std::chrono::steady_clock::now();
        std::erase_if(connections_, [&](const std::unique_ptr<TConnection>& connection) {
            if (now - connection->lastFrame <= owner_.limits_.idle) return false;
            EndStream(*connection);
            ++owner_.idle_;
            return true;
        });
    }
}

// What listened before is closed first, so that an address may be given
// again with another transport or host.
void TSyslogReceiver::TLoop::Rebind(const std::vector<SyslogAddress>& endpoints) {
    connections_.clear();
    listeners_.clear();
    std::string problem;
    for (const SyslogAddress& endpoint : endpoints) {
        try {
            listeners_.push_back(TListener{Bound(endpoint), endpoint.transport == SyslogTransport::Tcp});
        } catch (const std::exception& failure) {
            if (!problem.empty()) problem += "  ";
            problem += "Receiving cannot listen on " + EndpointText(endpoint) + ": " + failure.what();
        }
    }
    std::lock_guard lock(owner_.lock_);
    owner_.problem_ = std::move(problem);
}

bool TSyslogReceiver::TLoop::Refused(const sockaddr_storage& from) {
    if (allow_.Everyone() || allow_.Allows(SenderOf(from))) return false;
    ++owner_.refused_;
    return true;
}

// A new connection always gets in, so that nobody who only connects keeps
// another sender out; one from a sender not allowed is closed at once.
void TSyslogReceiver::TLoop::Accept(SocketHandle listener) {
    for (;;) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        UniqueSocket accepted(::accept(listener, reinterpret_cast<sockaddr*>(&peer), &length));
        if (!accepted) return;
        if (Refused(peer)) continue;
        SetNonBlocking(accepted.get());
        auto connection = std::make_unique<TConnection>();
        connection->socket = std::move(accepted);
        connection->peer = AddressText(reinterpret_cast<const sockaddr*>(&peer), length);
        connection->lastFrame = std::chrono::steady_clock::now();
        MakeRoom(connection->peer);
        connections_.push_back(std::move(connection));
    }
}

void TSyslogReceiver::TLoop::MakeRoom(const std::string& peer) {
    std::vector<HeldConnection> held;
    held.reserve(connections_.size());
    for (const auto& connection : connections_) held.push_back({connection->peer, connection->lastFrame});
    const auto choice = ConnectionToClose(held, peer, owner_.limits_.perAddress, owner_.limits_.connections);
    if (!choice) return;
    ++(choice->reason == RoomReason::Replaced ? owner_.replaced_ : owner_.madeRoom_);
    EndStream(*connections_[choice->index]);
    connections_.erase(connections_.begin() + static_cast<ptrdiff_t>(choice->index));
}

void TSyslogReceiver::TLoop::ReadDatagrams(SocketHandle socket) {
    for (int i = 0; i < kDatagramsPerRound; ++i) {
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        const auto read = ::recvfrom(socket, buffer_.data(), static_cast<int>(buffer_.size()), 0,
                                     reinterpret_cast<sockaddr*>(&from), &length);
        // Nothing more for now, or an error a datagram socket reports of an
        // earlier send elsewhere: nothing to read either way.
        if (read < 0) return;
        if (read == 0 || Refused(from)) continue;
        try {
            const std::string sender = AddressText(reinterpret_cast<const sockaddr*>(&from), length);
            queue_.PushDatagram(EntryOf(std::string_view(buffer_.data(), static_cast<size_t>(read)), false, sender));
        } catch (const std::exception&) {
            queue_.CountDropped();
        }
    }
}

bool TSyslogReceiver::TLoop::ReadStream(TConnection& connection) {
    const auto read = [&] {
        const TStageTimer timer(CallStage::ReceiveRead);
        return ::recv(connection.socket.get(), buffer_.data(), static_cast<int>(buffer_.size()), 0);
    }();
    if (read > 0) {
        connection.frames.Add(std::string_view(buffer_.data(), static_cast<size_t>(read)));
        QueueFrames(connection);
        return true;
    }
    if (read < 0 && WouldWait(LastSocketError())) return true;
    // The sender's end, or a reset.
    EndStream(connection);
    return false;
}

void TSyslogReceiver::TLoop::EndStream(TConnection& connection) {
    while (const auto frame = connection.frames.Next()) Make(frame->bytes, frame->cut, connection.peer);
    if (const auto rest = connection.frames.Rest()) Make(rest->bytes, rest->cut, connection.peer);
    queue_.PushFromStream(made_);
}

// A read's entries go to the queue together: the dispatch wakes once for
// them and takes them in batches as large as it allows.
void TSyslogReceiver::TLoop::QueueFrames(TConnection& connection) {
    connection.held = true;
    const size_t before = made_.size();
    TReceiveQueue::TRoom room = queue_.Room();
    while (room.entries > 0 && room.bytes > 0) {
        const auto frame = connection.frames.Next();
        if (!frame) {
            connection.held = false;
            break;
        }
        const size_t made = made_.size();
        Make(frame->bytes, frame->cut, connection.peer);
        --room.entries;
        if (made_.size() > made) room.bytes -= std::min(room.bytes, ReceivedBytes(made_.back()));
    }
    // A whole frame, or one waiting for room (a sender held up by the queue),
    // is not idle.
    if (connection.held || made_.size() > before) connection.lastFrame = std::chrono::steady_clock::now();
    queue_.PushFromStream(made_);
}

void TSyslogReceiver::TLoop::Make(std::string_view frame, bool cut, const std::string& sender) {
    try {
        made_.push_back(EntryOf(frame, cut, sender));
    } catch (const std::exception&) {
        queue_.CountDropped();
    }
}

ReceivedEntry TSyslogReceiver::TLoop::EntryOf(std::string_view frame, bool cut, const std::string& sender) {
    const TStageTimer timer(CallStage::ReceiveParse);
    ++owner_.received_;
    if (cut) ++owner_.cut_;
    if (owner_.probe_) owner_.probe_(frame);
    ReceivedMessage message = ReadReceivedMessage(frame, sender);
    if (message.malformed) ++owner_.malformed_;
    MakeTextWritable(message);
    ReceivedEntry entry;
    entry.source = SourceOf(message);
    entry.threadId = message.threadId;
    entry.code = message.code;
    entry.kind = message.kind;
    entry.time = ArrivalOrOwnTime(message.utcTicks);
    entry.text = std::move(message.text);
    entry.further = std::move(message.further);
    entry.frameBytes = frame.size();
    return entry;
}

// The key is built in a buffer kept from message to message: a flood of one
// sender's messages looks its source up without an allocation.
std::shared_ptr<const TReceivedSource> TSyslogReceiver::TLoop::SourceOf(const ReceivedMessage& message) {
    // Each name after its length, so that no name can pass for two.
    key_.clear();
    key_ += std::to_wstring(message.processId);
    for (const std::wstring* name : {&message.machine, &message.project, &message.module, &message.className}) {
        key_ += L' ';
        key_ += std::to_wstring(name->size());
        key_ += L':';
        key_ += *name;
    }
    if (const auto found = sources_.find(key_); found != sources_.end()) return found->second;
    auto source = std::make_shared<const TReceivedSource>(TraceSource{
        ReceivedName(message.project, kMaxParameter), ReceivedName(message.module, kMaxParameter),
        ReceivedName(message.className, kMaxParameter), ReceivedName(message.machine, kMostReceivedHost),
        message.processId});
    const size_t bytes = source->bytes + key_.size() * sizeof(wchar_t);
    if (sources_.size() >= kMostSources || sourceBytes_ + bytes > kMostSourceBytes) {
        sources_.clear();
        sourceBytes_ = 0;
    }
    sources_.emplace(key_, source);
    sourceBytes_ += bytes;
    return source;
}

}  // namespace norvale
