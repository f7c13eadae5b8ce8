// Receiving from real peers on 127.0.0.1: Norvale's forwarding relayed by a
// real rsyslog over TCP (octet counted) and UDP arrives with every field, and
// so do util-linux logger's messages in both forms; the
// entries reach every output but forwarding, a file name made safe; and
// nothing from outside holds the receiver up: garbage, a 1 MB line, quiet
// and trickling connections, a port another program holds; and no sender
// keeps another out: 200 idle connections from one address, every place
// taken, senders the allowed list leaves out. Nor does it reach further than
// it should: no entry writes much more than its frame, no byte forges a line
// or ends a file, every name is counted and cut, and a message that raises is
// dropped and counted.

// Winsock's header brings windows.h, after itself as it must.
#include "tests_support/loopback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <thread>

#include "forward/syslog_sender.h"
#include "output/output_stage.h"
#include "receive/receiving.h"
#include "receive/sender_allow.h"
#include "common/ansi_text.h"
#include "common/utf8_text.h"
#include "forward/syslog_message.h"
#include "receive/received_text.h"
#include "receive/syslog_frames.h"
#include "tests_support/paths.h"
#include "tests_support/recording_outputs.h"
#include "tests_support/rsyslog.h"
#include "tests_support/trace_entries.h"
#include "tests_support/wait_until.h"

namespace norvale {
namespace {

using namespace std::chrono_literals;

SyslogAddress Endpoint(SyslogTransport transport, uint16_t port) { return {transport, "127.0.0.1", port}; }

// What a receiver queues, taken as it comes, without ever waiting on an
// empty queue: the entries from `machine` (any, when empty).
class TTaker {
public:
    TTaker(TReceiveQueue& queue, const TSyslogReceiver& receiver) : queue_(queue), receiver_(receiver) {}
    // Waits up to 20 s for `count` more of them.
    std::vector<ReceivedEntry> Next(size_t count, const std::wstring& machine = {}) {
        std::vector<ReceivedEntry> kept;
        const auto enough = [&] {
            for (std::vector<ReceivedEntry> taken; seen_ < receiver_.Status().counts.received; taken.clear()) {
                seen_ += queue_.Take(taken, 1);
                if (machine.empty() || taken[0].source->source->Machine == machine) kept.push_back(std::move(taken[0]));
            }
            return kept.size() >= count;
        };
        EXPECT_TRUE(test::WaitUntil(enough, 20s)) << kept.size() << " of " << count << " entries within 20 s";
        return kept;
    }

private:
    TReceiveQueue& queue_;
    const TSyslogReceiver& receiver_;
    uint64_t seen_ = 0;
};

// A receiver binds at its thread's next look, and UDP has no connection to
// show it: a datagram it counts does. Until then a datagram sent to the port
// is lost, and the port may be handed out again to another program.
bool HearsDatagrams(const TSyslogReceiver& receiver, uint16_t port) {
    return test::WaitUntil(
        [&] {
            test::SendDatagram(port, "<13>1 - probe - - - - ready");
            return receiver.Status().counts.received > 0;
        },
        20s);
}

TEST(ReceivingTest, ForwardedEntriesRelayedByRsyslogArriveWithEveryField) {
    if (!test::TRsyslog::Available()) GTEST_SKIP() << "no rsyslogd here: ./norvale setup installs it";
    const uint16_t tcp = test::FreePort(SOCK_STREAM), udp = test::FreePort(SOCK_DGRAM);
    TReceiveQueue tcpQueue, udpQueue;
    TSyslogReceiver tcpReceiver(tcpQueue), udpReceiver(udpQueue);
    tcpReceiver.Listen({Endpoint(SyslogTransport::Tcp, tcp)});
    udpReceiver.Listen({Endpoint(SyslogTransport::Udp, udp)});
    ASSERT_TRUE(test::WaitUntil([&] { return test::Listening(tcp); }, 20s)) << "the receiver's TCP port within 20 s";
    ASSERT_TRUE(HearsDatagrams(udpReceiver, udp)) << "the receiver's UDP port counting a datagram within 20 s";
    // rsyslog's own ports are chosen once the receivers hold theirs, so that
    // they cannot be the same.
    // A relay that fails once keeps its messages and tries again each second,
    // instead of rsyslog's default of dropping them for half a minute.
    const std::string relay =
        " template=\"RSYSLOG_SyslogProtocol23Format\" action.resumeRetryCount=\"-1\" action.resumeInterval=\"1\")\n";
    test::TRsyslog rsyslog(
        "*.* action(type=\"omfwd\" target=\"127.0.0.1\" port=\"" + std::to_string(tcp) +
        "\" protocol=\"tcp\" TCP_Framing=\"octet-counted\"" + relay +
        "*.* action(type=\"omfwd\" target=\"127.0.0.1\" port=\"" + std::to_string(udp) + "\" protocol=\"udp\"" + relay);
    ASSERT_TRUE(rsyslog.Start());

    const auto source = std::make_shared<TraceSource>(TraceSource{L"P\u00fc", L"M", L"", L"WS12", 42});
    const LocalDateTime time{2026, 12, 8, TimeOfDay{14, 3, 27, 512}};
    const MessageKind kinds[] = {MessageKind::Code1, MessageKind::EnterMethod, MessageKind::ExitMethod,
                                 MessageKind::Block, MessageKind::Notice, MessageKind::Crash};
    TForwardQueue sent;
    for (const MessageKind kind : kinds) {
        std::vector<std::wstring> lines;
        if (CarriesFurtherLines(kind)) lines = {L"a", L"b"};
        sent.Push(std::make_shared<ForwardedEntry>(
            ForwardedEntry{source, L"T\u4e2d", 7, 1, kind, time, L"m \u00e9", std::move(lines)}));
    }
    TSyslogSender sender(sent, Endpoint(SyslogTransport::Tcp, rsyslog.TcpPort()), ConnectSyslog, {"PC"},
                         UtcOffsetMinutes);
    // rsyslog relays its own notices too: only the sender's machine counts.
    for (auto [queue, receiver] : {std::pair{&tcpQueue, &tcpReceiver}, std::pair{&udpQueue, &udpReceiver}}) {
        const auto taken = TTaker(*queue, *receiver).Next(std::size(kinds), L"WS12");
        ASSERT_EQ(taken.size(), std::size(kinds))
            << (queue == &tcpQueue ? "over TCP" : "over UDP") << "; the receiver counted "
            << receiver->Status().counts.received << "; rsyslog received:\n"
            << rsyslog.Received();
        for (size_t i = 0; i < taken.size(); ++i) {
            const ReceivedEntry& entry = taken[i];
            const TraceSource& from = *entry.source->source;
            EXPECT_EQ(from.ProcessID, 42);
            EXPECT_EQ(from.Project + L"|" + from.Module + L"|" + from.Class, L"P\u00fc|M|T\u4e2d");
            EXPECT_EQ(entry.threadId, 7);
            EXPECT_EQ(entry.kind, kinds[i]);
            EXPECT_EQ(entry.text, L"m \u00e9");
            EXPECT_EQ(entry.further, CarriesFurtherLines(kinds[i]) ? L"a\nb" : L"");
            const LocalDateTime& at = entry.time;
            EXPECT_EQ(std::vector<int>({at.year, at.month, at.day, at.time.hour, at.time.minute, at.time.millisecond}),
                      std::vector<int>({2026, 12, 8, 14, 3, 512}));
        }
    }
    sender.Finish(5s);
}

#ifndef _WIN32
// util-linux's logger, as any Linux program logs: RFC 5424 over TCP with
// octet counting, RFC 3164 over UDP.
TEST(ReceivingTest, LoggersMessagesArriveAsMessageEntries) {
    TReceiveQueue queue;
    TSyslogReceiver receiver(queue);
    const uint16_t tcp = test::FreePort(SOCK_STREAM), udp = test::FreePort(SOCK_DGRAM);
    receiver.Listen({Endpoint(SyslogTransport::Tcp, tcp), Endpoint(SyslogTransport::Udp, udp)});
    ASSERT_TRUE(test::WaitUntil([&] { return test::Listening(tcp); }, 20s)) << "listening within 20 s";
    const test::ScratchDirectory folder;
    for (const std::string& arguments : {"-P " + std::to_string(tcp) + " -T --octet-count --rfc5424 -p user.err",
                                        "-P " + std::to_string(udp) + " -d --rfc3164 -p user.warning"}) {
        const std::string errors = folder.PathOf("errors.txt");
        const int status =
            std::system(("timeout 20 logger -n 127.0.0.1 -t app " + arguments + " 'hi \xc3\xbc' 2>" + errors).c_str());
        EXPECT_EQ(status, 0) << arguments;
        EXPECT_EQ(test::ReadWholeFile(errors), "") << arguments;
    }
    const auto taken = TTaker(queue, receiver).Next(2);
    ASSERT_EQ(taken.size(), 2u);
    for (size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i].source->source->Module, L"app");
        EXPECT_FALSE(taken[i].source->source->Machine.empty());
        EXPECT_EQ(taken[i].code, i == 0 ? 3 : 4);
        EXPECT_EQ(taken[i].text, L"hi \u00fc");
    }
}
#endif

// The trace window's place and forwarding's, counting what reaches them.
class TCountingSink final : public IEntrySink {
public:
    void Append(const TraceEntry&) noexcept override { ++count; }
    void ApplyOptions(const OptionsSettings&) override {}
    std::atomic<int> count = 0;
};

TEST(ReceivingTest, EntriesReachTheOutputsButNeverForwardingAndNameNoFolder) {
    test::RecordingProcessOutputs recorders;
    test::ScratchSettings settings;
    test::ScratchDirectory folder;
    TCountingSink forwarding;
    recorders.outputs->SetForwarding(&forwarding);
    const uint16_t port = test::FreePort(SOCK_STREAM);
    settings.SetFlag("ToConsole", true);
    settings.SetFlag("ToFile", true);
    settings.Set("Filename", folder.PathOf("%MACHINE%.txt"));
    recorders.options.SetFlag("ListenSyslog", true);
    recorders.options.Set("ListenAddress", "tcp://127.0.0.1:" + std::to_string(port));
    // An allowed list that does not parse lets nobody in.
    recorders.options.Set("ListenAllow", "127.0.0.1/33");
    TMutex lock(test::UniqueTestName("receiving lock"));
    TOutputStage stage(lock, *recorders.outputs, settings.Location());
    TReceiving receiving(stage);
    recorders.outputs->AddOptionsFollower(receiving);
    stage.RefreshProperties();
    EXPECT_EQ(receiving.Status().problem, "Receiving is off: the allowed sender \"127.0.0.1/33\" has a prefix length "
                                          "that is not a number from 0 to 32.");
    recorders.options.Set("ListenAllow", "127.0.0.1");
    stage.RefreshProperties();
    ASSERT_TRUE(test::WaitUntil([&] { return test::Listening(port); }, 20s)) << "listening within 20 s";
    {
        const UniqueSocket peer = test::ConnectTo(port);
        ASSERT_TRUE(test::SendAll(peer.get(), "<13>1 - ../x:y app - - - over TCP\n"));
    }
    EXPECT_TRUE(test::WaitUntil([&] { return receiving.Status().counts.received == 1; }, 20s))
        << "the peer's message received within 20 s";
    EXPECT_EQ(ReceiveStatusTexts(receiving.Status()).counts[0], L"Received: 1, malformed 0, dropped 0");
    receiving.Stop();
    EXPECT_EQ(recorders.journal.entries, (std::vector<std::string>{"console: over TCP"}));
    EXPECT_TRUE(test::FileExists(folder.PathOf("___x_y.txt")));
    EXPECT_EQ(forwarding.count, 0);
}

// A full queue holds the stream back, entry by entry, and loses none of it:
// a connection held up so is not idle.
TEST(ReceivingTest, AFullQueueHoldsTheStreamBackAndNothingIsLost) {
    TReceiveQueue queue(2);
    TSyslogReceiver receiver(queue, ReceiveLimits{64, 1s});
    const uint16_t port = test::FreePort(SOCK_STREAM);
    receiver.Listen({Endpoint(SyslogTransport::Tcp, port)});
    ASSERT_TRUE(test::WaitUntil([&] { return test::Listening(port); }, 20s)) << "listening within 20 s";
    const UniqueSocket sender = test::ConnectTo(port);
    ASSERT_TRUE(test::SendAll(sender.get(), "<13>1 - h a - - - 0\n<13>1 - h a - - - 1\n<13>1 - h a - - - 2\n"));
    ASSERT_TRUE(test::WaitUntil([&] { return receiver.Status().counts.received == 2; }, 20s)) << "2 entries in 20 s";
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(receiver.Status().counts.received, 2u) << "read past a full queue";
    EXPECT_EQ(receiver.Status().counts.idle, 0u) << "a held connection closed as idle";
    const auto taken = TTaker(queue, receiver).Next(3);
    ASSERT_EQ(taken.size(), 3u);
    for (size_t i = 0; i < taken.size(); ++i) EXPECT_EQ(taken[i].text, std::to_wstring(i));
}

TEST(ReceivingTest, NothingFromOutsideHoldsTheReceiverUp) {
    TReceiveQueue queue;
    TSyslogReceiver receiver(queue, ReceiveLimits{64, 3s});
    const uint16_t port = test::FreePort(SOCK_STREAM);
    receiver.Listen({Endpoint(SyslogTransport::Tcp, port)});
    ASSERT_TRUE(test::WaitUntil([&] { return test::Listening(port); }, 20s)) << "listening within 20 s";
    // A port already taken is named, and the receiver that holds it goes on.
    TSyslogReceiver second(queue);
    second.Listen({Endpoint(SyslogTransport::Tcp, port)});
    const std::string inUse =
        "Receiving cannot listen on tcp://127.0.0.1:" + std::to_string(port) + ": another program uses the address.";
    EXPECT_TRUE(test::WaitUntil([&] { return second.Status().problem == inUse; }, 20s)) << second.Status().problem;

    // Quiet connections and one that talks, the address's share.
    std::vector<UniqueSocket> quiet;
    for (int i = 0; i < 7; ++i) quiet.push_back(test::ConnectTo(port));
    const UniqueSocket talker = test::ConnectTo(port);
    ASSERT_TRUE(test::SendAll(talker.get(), "\x01garbage\n" + std::string(1 << 20, 'x') + "\n<13>1 - h a - - - after\n"));
    TTaker taker(queue, receiver);
    const auto taken = taker.Next(3);
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0].text, L"\u2401garbage");
    EXPECT_EQ(taken[1].text.size(), TSyslogFrames::kMaxFrame);
    EXPECT_EQ(taken[2].text, L"after");
    const ReceiveCounts counts = receiver.Status().counts;
    EXPECT_EQ(std::vector<uint64_t>({counts.received, counts.malformed, counts.cut, counts.replaced}),
              std::vector<uint64_t>({3, 2, 1, 0}));
    // Idle counts from the last whole frame: a byte now and then keeps no
    // connection, and what it sent is queued.
    const UniqueSocket trickler = test::ConnectFrom(2, port);
    const auto closed = [&] {
        PollEntry entry{trickler.get(), POLLIN, 0};
        return !test::SendAll(trickler.get(), "x") || PollSockets(std::span(&entry, 1), 50ms) > 0;
    };
    ASSERT_TRUE(test::SendAll(trickler.get(), "<13>1 - t a - - - "));
    EXPECT_TRUE(test::WaitUntil(closed, 30s)) << "the trickling connection closed within 30 s";
    EXPECT_EQ(taker.Next(1, L"t").size(), 1u);
    // Quiet for the idle time-out: closed, and a connection is taken again.
    for (const UniqueSocket& socket : quiet) {
        ASSERT_TRUE(test::ClosedByPeerWithin(socket.get(), 20)) << "a quiet connection was not closed within 20 s";
    }
    EXPECT_TRUE(test::WaitUntil([&] { return receiver.Status().counts.idle == 9; }, 20s))
        << "7 quiet connections, the talker and the trickler closed as idle within 20 s";
    const UniqueSocket later = test::ConnectTo(port);
    ASSERT_TRUE(test::SendAll(later.get(), "<13>1 - h a - - - later\n"));
    const auto last = taker.Next(1, L"h");
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0].text, L"later");
}

// 200 connections from one address that send nothing hold its 8 places
// alone, each new one in the place of the oldest: a sender beside them talks
// on, never closed.
TEST(ReceivingTest, ConnectionsThatSendNothingKeepNoOtherSenderOut) {
    TReceiveQueue queue;
    TSyslogReceiver receiver(queue);
    const uint16_t port = test::FreePort(SOCK_STREAM);
    receiver.Listen({Endpoint(SyslogTransport::Tcp, port)});
    ASSERT_TRUE(test::WaitUntil([&] { return test::Listening(port); }, 20s)) << "listening within 20 s";
    const UniqueSocket good = test::ConnectTo(port);
    TTaker taker(queue, receiver);
    std::vector<UniqueSocket> idle;
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 50; ++i) idle.push_back(test::ConnectFrom(2, port));
        ASSERT_TRUE(idle.back()) << "a connection from 127.0.0.2";
        ASSERT_TRUE(test::SendAll(good.get(), "<13>1 - good a - - - " + std::to_string(round) + "\n"));
        const auto taken = taker.Next(1);
        ASSERT_EQ(taken.size(), 1u);
        EXPECT_EQ(taken[0].text, std::to_wstring(round));
    }
    EXPECT_TRUE(test::WaitUntil([&] { return receiver.Status().counts.replaced == 192; }, 20s))
        << "192 connections replaced within 20 s, not " << receiver.Status().counts.replaced;
    for (size_t i = 0; i < 192; ++i) {
        ASSERT_TRUE(test::ClosedByPeerWithin(idle[i].get(), 20)) << "connection " << i << " closed within 20 s";
    }
    for (size_t i = 192; i < 200; ++i) EXPECT_FALSE(ReadableNow(idle[i].get())) << "connection " << i << " closed";
    EXPECT_FALSE(ReadableNow(good.get())) << "the sender that talks was closed";
    const ReceiveCounts counts = receiver.Status().counts;
    EXPECT_EQ(std::vector<uint64_t>({counts.refused, counts.madeRoom, counts.idle}), std::vector<uint64_t>({0, 0, 0}));
}

TEST(ReceivingTest, WhenEveryPlaceIsTakenTheLongestIdleConnectionMakesRoom) {
    TReceiveQueue queue;
    TSyslogReceiver receiver(queue, ReceiveLimits{3});
    const uint16_t port = test::FreePort(SOCK_STREAM);
    receiver.Listen({Endpoint(SyslogTransport::Tcp, port)});
    // No probe of its own, which would take a place until its end is read.
    UniqueSocket first;
    ASSERT_TRUE(test::WaitUntil([&] { return static_cast<bool>(first = test::ConnectFrom(2, port)); }, 20s))
        << "listening within 20 s";
    const UniqueSocket second = test::ConnectFrom(3, port);
    const UniqueSocket good = test::ConnectTo(port);
    TTaker taker(queue, receiver);
    ASSERT_TRUE(test::SendAll(good.get(), "<13>1 - good a - - - 0\n"));
    ASSERT_EQ(taker.Next(1).size(), 1u);
    const UniqueSocket newcomer = test::ConnectFrom(4, port);
    EXPECT_TRUE(test::ClosedByPeerWithin(first.get(), 20)) << "the longest idle connection closed within 20 s";
    ASSERT_TRUE(test::SendAll(good.get(), "<13>1 - good a - - - 1\n"));
    ASSERT_EQ(taker.Next(1).size(), 1u);
    EXPECT_FALSE(ReadableNow(second.get())) << "the second longest idle connection was closed";
    const ReceiveCounts counts = receiver.Status().counts;
    EXPECT_EQ(std::vector<uint64_t>({counts.madeRoom, counts.replaced}), std::vector<uint64_t>({1, 0}));
}

// The stranger is this machine's usual 127.0.0.1: under Wine a datagram sent
// from a socket bound to 127.0.0.2 arrives from 127.0.0.1.
TEST(ReceivingTest, SendersNotAllowedAreRefusedOverUdpAndTcp) {
    TReceiveQueue queue;
    TSyslogReceiver receiver(queue);
    const uint16_t tcp = test::FreePort(SOCK_STREAM), udp = test::FreePort(SOCK_DGRAM);
    receiver.Listen({Endpoint(SyslogTransport::Tcp, tcp), Endpoint(SyslogTransport::Udp, udp)},
                    ParseSenderAllow("10.0.0.0/8; 127.0.0.2").allow);
    const auto refused = [&] { return receiver.Status().counts.refused; };
    // Both sockets are bound together, and the probe's connection is the first refused.
    ASSERT_TRUE(test::WaitUntil([&] { return test::Listening(tcp); }, 20s)) << "listening within 20 s";
    ASSERT_TRUE(test::WaitUntil([&] { return refused() == 1; }, 20s)) << "the probe's connection refused within 20 s";
    test::SendDatagram(udp, "<13>1 - stranger a - - - over UDP");
    EXPECT_TRUE(test::WaitUntil([&] { return refused() == 2; }, 20s))
        << "the stranger's datagram refused within 20 s, " << refused() << " refused";
    const UniqueSocket stranger = test::ConnectTo(tcp);
    EXPECT_TRUE(test::ClosedByPeerWithin(stranger.get(), 20)) << "the stranger's connection closed within 20 s";
    EXPECT_TRUE(test::WaitUntil([&] { return refused() == 3; }, 20s))
        << "the stranger's connection refused within 20 s, " << refused() << " refused";
    ASSERT_TRUE(test::SendAll(test::ConnectFrom(2, tcp).get(), "<13>1 - friend a - - - over TCP\n"));
    const auto taken = TTaker(queue, receiver).Next(1, L"friend");
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(refused(), 3u);
    EXPECT_EQ(receiver.Status().counts.received, 1u);
}

// Receiving over UDP and TCP into a file of the test's own through the
// process's output stage, with the prefix's fields that `fields` names on.
class TReceivingToFile {
public:
    explicit TReceivingToFile(std::initializer_list<const char*> fields, MessageProbe probe = {})
        : receiving(stage, {}, std::move(probe)) {
        settings.SetFlag("ToConsole", true);
        settings.SetFlag("ToFile", true);
        settings.Set("Filename", file);
        for (const char* field : fields) settings.SetFlag(field, true);
        recorders.options.SetFlag("ListenSyslog", true);
        // UDP first: once TCP listens, both are bound.
        recorders.options.Set("ListenAddress",
                              "udp://127.0.0.1:" + std::to_string(udp) + ";tcp://127.0.0.1:" + std::to_string(tcp));
        recorders.outputs->AddOptionsFollower(receiving);
        stage.RefreshProperties();
        EXPECT_TRUE(test::WaitUntil([&] { return test::Listening(tcp); }, 20s)) << "listening within 20 s";
    }
    // Once the status bar says `status`, what the file holds after every
    // entry was dispatched.
    std::string FileAfter(const std::wstring& status) {
        const auto shown = [&] { return ReceiveStatusTexts(receiving.Status()).counts[0]; };
        EXPECT_TRUE(test::WaitUntil([&] { return shown() == status; }, 20s))
            << WideToUtf8(shown()) << " where \"" << WideToUtf8(status) << "\" was waited for 20 s";
        receiving.Stop();
        stage.CloseOutputFile();
        return test::ReadWholeFile(file);
    }

    test::RecordingProcessOutputs recorders;
    test::ScratchSettings settings;
    test::ScratchDirectory folder;
    const std::string file = folder.PathOf("received.txt");
    const uint16_t tcp = test::FreePort(SOCK_STREAM), udp = test::FreePort(SOCK_DGRAM);
    TMutex lock{test::UniqueTestName("receiving lock")};
    TOutputStage stage{lock, *recorders.outputs, settings.Location()};
    TReceiving receiving;
};

// A datagram whose long host name would indent each of its many lines by it
// writes no more than its bound, the cut said in its last line; a forwarded
// frame of many short lines written after no prefix arrives whole.
TEST(ReceivingTest, AReceivedEntryWritesNoMoreThanItsFrameAllows) {
    std::string lines;
    for (int i = 0; i < 30000; ++i) lines += "\nx";
    {
        TReceivingToFile receiving({"IncludeMachine"});
        const std::string datagram = "<13>1 - " + std::string(255, 'h') + " app - - - head" + lines;
        test::SendDatagram(receiving.udp, datagram);
        const std::string written = receiving.FileAfter(L"Received: 1, malformed 0, dropped 0, 1 block shortened");
        EXPECT_LE(written.size(), MostWrittenFor(datagram.size()));
        const auto kept = static_cast<size_t>(std::count(written.begin(), written.end(), '\n')) - 2;
        EXPECT_TRUE(written.ends_with("\n" + std::string(258, ' ') + WideToAnsi(L"\u2026 ") +
                                      std::to_string(30000 - kept) + " more lines cut\r\n"))
            << written.substr(written.size() - 300);
    }
    TReceivingToFile receiving({});
    const ForwardedEntry forwarded{std::make_shared<TraceSource>(TraceSource{L"", L"", L"", L"WS12", 0}), L"", 0, 0,
                                   MessageKind::Block, LocalDateTime{2026, 12, 8, TimeOfDay{14, 3, 27, 512}}, L"Data",
                                   std::vector<std::wstring>(32600, L"x")};
    const UniqueSocket peer = test::ConnectTo(receiving.tcp);
    ASSERT_TRUE(test::SendAll(peer.get(), FramedForTcp(FormatSyslogMessage(forwarded, 60, SyslogOrigin{"PC"}))));
    std::string whole = "Data\r\n";
    for (int i = 0; i < 32600; ++i) whole += "  x\r\n";
    EXPECT_EQ(receiving.FileAfter(L"Received: 1, malformed 0, dropped 0"), whole);
}

// A line break makes further lines, never a line of its own; a control is
// shown, never acted on: the end-of-file marker cuts none of the later
// lines at the file's next opening.
TEST(ReceivingTest, NoBytePeerSendsActsOnTheFile) {
    TReceivingToFile receiving({"IncludeMachine"});
    {
        const UniqueSocket peer = test::ConnectTo(receiving.tcp);
        ASSERT_TRUE(test::SendAll(peer.get(), FramedForTcp("<13>1 - h app - - - hello\r\nNorvale Shutting Down") +
                                                  FramedForTcp("<13>1 - h app - - - a\x1A" "b\x7F")));
    }
    receiving.FileAfter(L"Received: 2, malformed 0, dropped 0");
    for (const wchar_t* text : {L"local 1", L"local 2"}) {
        receiving.stage.Dispatch(test::MakeEntry(nullptr, text));
        receiving.stage.CloseOutputFile();
    }
    EXPECT_EQ(test::ReadWholeFile(receiving.file),
              "h hello\r\n    Norvale Shutting Down\r\nh a?b?\r\nlocal 1\r\nlocal 2\r\n");
}

// Names of 20,000 characters: counted by the queue with every entry, cut to
// forwarding's bound, and the receiver goes on.
TEST(ReceivingTest, LongNamesAreCountedAndCut) {
    TReceiveQueue queue;
    std::optional<TSyslogReceiver> receiver(std::in_place, queue);
    const uint16_t port = test::FreePort(SOCK_STREAM);
    receiver->Listen({Endpoint(SyslogTransport::Tcp, port)});
    ASSERT_TRUE(test::WaitUntil([&] { return test::Listening(port); }, 20s)) << "listening within 20 s";
    constexpr int kMessages = 2000;
    const UniqueSocket peer = test::ConnectTo(port);
    std::thread sender([&] {
        for (int i = 0; i < kMessages; ++i) {
            std::string name = std::to_string(i) + std::string(20000, 'n');
            name.resize(20000);
            if (!test::SendAll(peer.get(), FramedForTcp("<13>1 - h Norvale 1 msg [norvale@32473 project=\"" + name +
                                                        "\" module=\"" + name + "\" class=\"" + name +
                                                        "\" thread=\"0\" code=\"0\"] " + std::to_string(i)))) {
                return;
            }
        }
    });
    const bool all = test::WaitUntil([&] { return receiver->Status().counts.received == kMessages; }, 120s);
    const uint64_t received = receiver->Status().counts.received;
    // A receiver that stopped reading ends the sender's wait as it closes.
    if (!all) receiver.reset();
    sender.join();
    ASSERT_TRUE(all) << received << " of " << kMessages << " messages within 120 s";
    const size_t counted = TReceiveQueue::kByteCapacity - queue.Room().bytes;
    EXPECT_GE(counted, size_t{kMessages} * 3 * kMaxParameter) << "the queue's count of what its entries hold";
    const auto taken = TTaker(queue, *receiver).Next(kMessages);
    ASSERT_EQ(taken.size(), size_t{kMessages});
    for (const ReceivedEntry& entry : {taken.front(), taken.back()}) {
        const TraceSource& from = *entry.source->source;
        for (const std::wstring* name : {&from.Project, &from.Module, &from.Class}) {
            EXPECT_EQ(WideToUtf8(*name).size(), kMaxParameter);
            EXPECT_TRUE(name->ends_with(L"n\u2026"));
        }
    }
    EXPECT_EQ(taken.back().text, std::to_wstring(kMessages - 1));
}

// A message whose handling raises, as one that asks for more memory than
// there is would, is dropped and counted, on the receiving thread (from a
// stream and from a datagram) and on the dispatch's; the threads go on.
TEST(ReceivingTest, AMessageThatRaisesIsDroppedAndTheThreadsGoOn) {
    for (const std::string where : {"tcp", "udp", "dispatch"}) {
        TReceivingToFile receiving({}, [&](std::string_view message) {
            if (where != "dispatch" && message.ends_with("raise")) throw std::bad_alloc();
        });
        receiving.recorders.console->recorded = [&](const std::string& line) {
            if (where == "dispatch" && line == "raise") throw std::bad_alloc();
        };
        const UniqueSocket peer = test::ConnectTo(receiving.tcp);
        for (const char* message : {"<13>1 - h a - - - raise", "<13>1 - h a - - - after"}) {
            if (where == "udp") {
                test::SendDatagram(receiving.udp, message);
            } else {
                ASSERT_TRUE(test::SendAll(peer.get(), FramedForTcp(message)));
            }
        }
        EXPECT_EQ(receiving.FileAfter(L"Received: 2, malformed 0, dropped 1"), "after\r\n") << where;
    }
}

}  // namespace
}  // namespace norvale
