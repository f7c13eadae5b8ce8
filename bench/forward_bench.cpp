// The syslog sender alone against a real rsyslog on 127.0.0.1: messages per
// second delivered (written by rsyslog to its file) by the sender, from
// entries pushed into its queue to the last one on the collector's disk,
// against a bare sender of the same framed bytes on one connection, written
// in batches as the sender writes them (the floor). Nine rounds of 100,000
// messages (the queue holds them all), each the floor, the sender twice and
// the floor again; prints each figure and the ratio sender/bare as its median
// with its spread.

#include "common/sockets.h"

#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support_win32.h"
#include "forward/syslog_sender.h"
#include "tests_support/rsyslog.h"
#include "tests_support/wait_until.h"

namespace norvale {
namespace {

using namespace bench;

constexpr int kMessages = 100000;
constexpr int kRounds = 9;
constexpr size_t kBatch = 256;

std::vector<std::shared_ptr<const ForwardedEntry>> Entries() {
    const auto source = std::make_shared<const TraceSource>(TraceSource{L"Billing", L"Scripts", L"TInvoice", L"WS12", 42});
    std::vector<std::shared_ptr<const ForwardedEntry>> entries;
    for (int i = 0; i < kMessages; ++i) {
        auto entry = std::make_shared<ForwardedEntry>();
        entry->source = source;
        entry->className = source->Class;
        entry->threadId = 7;
        entry->time = LocalDateTime{2026, 12, 8, TimeOfDay{14, 3, 27, 512}};
        entry->text = L"Posted invoice " + std::to_wstring(i) + L" of the run.";
        entries.push_back(std::move(entry));
    }
    return entries;
}

// What rsyslog wrote so far, in bytes: a stat, light enough to poll.
uint64_t WrittenBytes(const test::TRsyslog& rsyslog) {
    std::error_code error;
    const auto size = std::filesystem::file_size(rsyslog.ReceivedPath(), error);
    return error ? 0 : size;
}

class TDelivery {
public:
    explicit TDelivery(const test::TRsyslog& rsyslog) : rsyslog_(rsyslog) {}

    // Runs `send` and waits (bounded) until rsyslog wrote `bytes` more;
    // messages per second, or 0 when it never did.
    double Time(const std::function<void()>& send, uint64_t bytes) {
        const uint64_t start = WrittenBytes(rsyslog_);
        const auto began = Clock::now();
        send();
        const auto deadline = began + std::chrono::seconds(60);
        while (WrittenBytes(rsyslog_) < start + bytes) {
            if (Clock::now() > deadline) {
                std::printf("rsyslog did not write the round's %d messages within 60 s\n", kMessages);
                return 0;
            }
            Sleep(1);
        }
        return kMessages / std::chrono::duration<double>(Clock::now() - began).count();
    }

private:
    const test::TRsyslog& rsyslog_;
};

int Run() {
    StartSockets();
    test::TRsyslog rsyslog;
    if (!rsyslog.Start()) return 1;
    const SyslogAddress address{SyslogTransport::Tcp, "127.0.0.1", rsyslog.TcpPort()};
    const SyslogOrigin origin{"PC"};
    const auto entries = Entries();
    const int offset = UtcOffsetMinutes(entries.front()->time);
    std::vector<std::string> batches;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i % kBatch == 0) batches.emplace_back();
        batches.back() += FramedForTcp(FormatSyslogMessage(*entries[i], offset, origin));
    }
    const auto bare = [&] {
        const auto connection = ConnectSyslog(address, [] { return false; });
        for (const std::string& batch : batches) {
            size_t written = 0;
            connection->Send(batch, written);
        }
    };
    TForwardQueue queue;
    std::unique_ptr<TSyslogSender> sender;
    const auto forwarded = [&] {
        sender = std::make_unique<TSyslogSender>(queue, address, ConnectSyslog, origin, UtcOffsetMinutes);
        for (const auto& entry : entries) queue.Push(entry);
    };

    // A first run of the floor tells how much rsyslog writes of a round.
    const uint64_t before = WrittenBytes(rsyslog);
    bare();
    const std::string last = "Posted invoice " + std::to_string(kMessages - 1) + " of the run.";
    if (!test::WaitUntil([&] { return rsyslog.Received().find(last) != std::string::npos; }, std::chrono::seconds(60))) {
        std::printf("rsyslog did not write the first round within 60 s\n");
        return 1;
    }
    Sleep(500);
    const uint64_t perRound = WrittenBytes(rsyslog) - before;

    std::printf("Syslog over TCP to rsyslog on 127.0.0.1, %d messages a run, %d rounds of floor, sender, sender,\n"
                "floor (messages/s delivered and ratio to the bare sender of the same bytes in the same round:\n"
                "median, lowest to highest):\n",
                kMessages, kRounds);
    std::vector<double> floorRates, rates, ratios;
    TDelivery delivery(rsyslog);
    {
        TPhaseWatch watch("the rounds", 600);
        for (int round = 0; round < kRounds; ++round) {
            // Floor, sender, sender, floor: rsyslog's pace drifts, and the
            // drift falls on both alike.
            double floor = 0, rate = 0;
            for (int turn = 0; turn < 4; ++turn) {
                const bool bareTurn = turn == 0 || turn == 3;
                const double figure = delivery.Time(bareTurn ? std::function<void()>(bare) : forwarded, perRound);
                if (figure == 0) return 1;
                if (!bareTurn) {
                    sender->Finish(std::chrono::seconds(1));
                    sender.reset();
                }
                (bareTurn ? floor : rate) += figure / 2;
            }
            floorRates.push_back(floor);
            rates.push_back(rate);
            ratios.push_back(rate / floor);
        }
    }
    PrintFigure("bare sender", SpreadOf(floorRates), SpreadOf(std::vector<double>(kRounds, 1.0)));
    PrintFigure("the sender", SpreadOf(rates), SpreadOf(ratios));
    const ForwardCounts counts = queue.Counts();
    std::printf("  the sender's queue: %llu sent, %llu dropped\n", static_cast<unsigned long long>(counts.sent),
                static_cast<unsigned long long>(counts.dropped));
    return 0;
}

}  // namespace
}  // namespace norvale

int main() { return norvale::Run(); }
