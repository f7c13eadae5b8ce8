// Receiving syslog over TCP: a server started by hand listens on 127.0.0.1,
// its trace window shown and its file on; a sender of this process writes
// 50,000 of Norvale's own messages, octet counted, as fast as the connection
// takes them. Each figure is entries per second from the first byte sent to
// the last entry in the server's file, against a bare reader of this process
// that only reads the same bytes over the same loopback (the floor). Rounds
// of floor, server, server, floor print each figure and the ratio
// server/bare with their spread; then whether every entry reached the file,
// and the frame's WM_NULL answers throughout against an idle window of this
// process (the floor of a probe). Two more turns time the server's stages,
// to tell where its time goes.
//
//   norvale_receive_bench [hidden] [--against OTHER.EXE]
//     hidden: the trace window stays hidden, to tell its part in the figures;
//     --against: another build's norvale.exe runs the same turns, in six
//     pairs of runs (each build first in every other pair), and the ratio
//     this/other of each pair's median rate is printed with its spread.

// Winsock's header brings windows.h, after itself as it must.
#include "tests_support/loopback.h"

#include <atomic>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support_win32.h"
#include "common/call_profile_win32.h"
#include "forward/syslog_message.h"
#include "output/file_output.h"
#include "shell/shell_resources.h"

namespace norvale {
namespace {

using namespace bench;

constexpr const char* kFile = "C:\\norvale-receive.txt";
constexpr int kMessages = 50000;
constexpr int kRounds = 9;
// Turns after the rounds with the server's stages timed, which costs it time.
constexpr int kProfiledTurns = 2;

std::string Text(int i) {
    char text[64];
    std::snprintf(text, sizeof text, "Posted invoice %06d of the run.", i);
    return text;
}

// Every message of a turn, framed as a stream; the lines of the file have
// one length, so a turn adds the same bytes to it each time.
std::string Stream() {
    const auto source = std::make_shared<const TraceSource>(TraceSource{L"Billing", L"Scripts", L"", L"WS12", 42});
    ForwardedEntry entry{source, L"TInvoice", 7, 0, MessageKind::Plain, LocalDateTime{2026, 12, 8, TimeOfDay{14, 3, 27, 512}}, {}, {}};
    std::string stream;
    for (int i = 0; i < kMessages; ++i) {
        const std::string text = Text(i);
        entry.text.assign(text.begin(), text.end());
        stream += FramedForTcp(FormatSyslogMessage(entry, 60, SyslogOrigin{"PC"}));
    }
    return stream;
}

uint64_t FileBytes() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(kFile, GetFileExInfoStandard, &data)) return 0;
    return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

size_t LinesWith(const std::string& part) {
    std::ifstream file(kFile, std::ios::binary);
    size_t lines = 0;
    for (std::string line; std::getline(file, line);) lines += line.find(part) != std::string::npos ? 1 : 0;
    return lines;
}

// The bare reader: accepts one connection and reads `bytes` from it.
class TBareReader {
public:
    TBareReader() : port_(test::FreePort(SOCK_STREAM)) {
        listener_.reset(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        at.sin_port = htons(port_);
        ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::listen(listener_.get(), 1);
    }
    uint16_t Port() const { return port_; }
    // On a thread of its own; true once every byte was read.
    std::thread Read(size_t bytes, std::atomic<bool>& done) {
        return std::thread([this, bytes, &done] {
            const UniqueSocket connection(::accept(listener_.get(), nullptr, nullptr));
            std::vector<char> buffer(1 << 16);
            size_t read = 0;
            while (read < bytes) {
                const int got = ::recv(connection.get(), buffer.data(), static_cast<int>(buffer.size()), 0);
                if (got <= 0) return;
                read += static_cast<size_t>(got);
            }
            done = true;
        });
    }

private:
    uint16_t port_;
    UniqueSocket listener_;
};

// Entries per second of one turn: the stream sent to `port`, until `arrived`;
// 0 when it did not within 120 s.
double Turn(const std::string& stream, uint16_t port, const std::function<bool()>& arrived) {
    const auto start = Clock::now();
    const UniqueSocket sender = test::ConnectTo(port);
    if (!sender || !test::SendAll(sender.get(), stream)) {
        std::printf("the stream could not be sent to port %u\n", port);
        return 0;
    }
    const auto deadline = start + std::chrono::seconds(120);
    while (!arrived()) {
        if (Clock::now() > deadline) {
            std::printf("the turn's %d messages did not arrive within 120 s\n", kMessages);
            return 0;
        }
        Sleep(1);
    }
    return kMessages / std::chrono::duration<double>(Clock::now() - start).count();
}

// Where the server's time went in the timed turns, stage by stage: its total and
// its time per pass.
void PrintStages(const CallProfileBlock& block) {
    std::printf("  the server's stages in %d more turns, timed: ms in all, passes, us a pass\n", kProfiledTurns);
    const std::pair<CallStage, const char*> stages[] = {
        {CallStage::ReceiveRead, "reading the connection"},
        {CallStage::ReceiveParse, "reading a message into an entry"},
        {CallStage::ReceiveDispatch, "a batch's dispatch, lock included"},
        {CallStage::Window, "  the trace window's store"},
        {CallStage::Prefix, "  the prefix"},
        {CallStage::Conversion, "  the text's conversion"},
        {CallStage::File, "  the file output"},
        {CallStage::FileWrites, "  the file's writes"},
        {CallStage::TraceTake, "the window taking and painting rows"},
    };
    for (const auto& [stage, name] : stages) {
        const CallStageTotal& total = block.stages[static_cast<int>(stage)];
        const double ms = static_cast<double>(total.nanoseconds.load()) / 1e6;
        const auto count = total.count.load();
        std::printf("    %-40s %9.1f %10lld %9.2f\n", name, ms, static_cast<long long>(count),
                    count > 0 ? ms * 1000 / static_cast<double>(count) : 0.0);
    }
}

// The median rate of the server's turns, 0 when the run failed.
double Run(bool windowShown, const std::string& serverExe) {
    const TCallProfileView profile = TCallProfileView::Create();
    std::printf("== %s\n", serverExe.c_str());
    if (RunAndWait("\"" + serverExe + "\" /RegServer") != 0) return 0;
    const uint16_t port = test::FreePort(SOCK_STREAM);
    UseFileOutputSettings(kFile);
    DeleteFileA(kFile);
    WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "ListenSyslog", "1");
    WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "ListenAddress",
                   "tcp://127.0.0.1:" + std::to_string(port));
    const auto undo = [] {
        RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
        RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey);
    };
    const UniqueHandle server = StartProcess("\"" + serverExe + "\"");
    const HWND frame = AwaitServerFrame();
    const auto listeningBy = Clock::now() + std::chrono::seconds(30);
    while (frame != nullptr && !test::Listening(port) && Clock::now() < listeningBy) Sleep(50);
    if (!server || frame == nullptr || !test::Listening(port)) {
        std::printf("the server did not start listening on port %u within 30 s\n", port);
        undo();
        return 0;
    }
    if (windowShown) SendMessageW(frame, WM_COMMAND, ID_AC_SHOWDEBUGWINDOW, 0);
    const std::string stream = Stream();
    TBareReader bare;
    const auto bareTurn = [&] {
        std::atomic<bool> done{false};
        std::thread reader = bare.Read(stream.size(), done);
        const double rate = Turn(stream, bare.Port(), [&] { return done.load(); });
        reader.join();
        return rate;
    };

    // A first turn tells how much the file grows by a turn: what it holds
    // once it grew no more for a second. The last partial buffer of a turn
    // waits for the next entry, so a turn counts as done a buffer short.
    TPhaseWatch watch("the rounds", 1500, undo);
    uint64_t held = 0;
    auto grew = Clock::now();
    const auto settled = [&] {
        const uint64_t now = FileBytes();
        if (now != held) grew = Clock::now();
        held = now;
        return held > 0 && Clock::now() - grew > std::chrono::seconds(1);
    };
    if (Turn(stream, port, settled) == 0) return 0;
    const uint64_t perTurn = held - TFileOutput::kBufferSize;

    const TIdleWindow idle;
    std::atomic<bool> stop{false};
    ProbeAnswers frameAnswers, floorAnswers;
    std::thread frameProbe([&] { frameAnswers = Probe(frame, stop, 20, 5000); });
    std::thread floorProbe([&] { floorAnswers = Probe(idle.Handle(), stop, 20, 5000); });
    const auto serverTurn = [&] {
        const uint64_t before = FileBytes();
        return Turn(stream, port, [&] { return FileBytes() >= before + perTurn; });
    };
    std::vector<double> floorRates, rates, ratios;
    for (int round = 0; round < kRounds; ++round) {
        double floor = 0, rate = 0;
        for (int turn = 0; turn < 4; ++turn) {
            const bool floorTurn = turn == 0 || turn == 3;
            const double figure = floorTurn ? bareTurn() : serverTurn();
            if (figure == 0) {
                stop = true;
                frameProbe.join();
                floorProbe.join();
                undo();
                return 0;
            }
            (floorTurn ? floor : rate) += figure / 2;
        }
        floorRates.push_back(floor);
        rates.push_back(rate);
        ratios.push_back(rate / floor);
    }
    stop = true;
    frameProbe.join();
    floorProbe.join();
    if (profile.Block() != nullptr) profile.Block()->recording = 1;
    for (int turn = 0; turn < kProfiledTurns; ++turn) serverTurn();
    if (profile.Block() != nullptr) profile.Block()->recording = 0;
    // The last entries' partial buffer goes out as the server ends.
    PostThreadMessageW(GetWindowThreadProcessId(frame, nullptr), WM_QUIT, 0, 0);
    const int ended = ExitCodeWithin(server.get(), 30000);
    const size_t expected = static_cast<size_t>(kMessages) * (1 + 2 * kRounds + kProfiledTurns);
    const size_t inFile = LinesWith(" of the run.");

    std::printf("Receiving syslog over TCP on 127.0.0.1: %d of Norvale's messages a turn (%zu bytes, octet counted),\n"
                "trace window %s, file on; %d rounds of floor, server, server, floor (entries/s and ratio to the\n"
                "bare reader of the same bytes in the same round: median, lowest to highest):\n",
                kMessages, stream.size(), windowShown ? "shown" : "hidden", kRounds);
    PrintFigure("bare reader", SpreadOf(floorRates), SpreadOf(std::vector<double>(kRounds, 1.0)));
    PrintFigure("the server", SpreadOf(rates), SpreadOf(ratios));
    std::printf("  entries in the file: %zu of %zu sent: %s\n", inFile, expected, inFile == expected ? "none lost" : "ENTRIES LOST");
    std::printf("  WM_NULL answer, ms      median   99th %%   longest   (probes, unanswered within 5 s)\n");
    for (const auto& [name, answers] : {std::pair{"the server's frame ", &frameAnswers}, {"idle window (floor)", &floorAnswers}}) {
        std::printf("    %s  %7.2f  %7.2f  %8.2f   (%zu, %d)\n", name, Percentile(answers->ms, 0.5),
                    Percentile(answers->ms, 0.99), Percentile(answers->ms, 1.0), answers->ms.size(),
                    answers->unanswered);
    }
    if (profile.Block() != nullptr) PrintStages(*profile.Block());
    if (ended != 0) std::printf("the server did not end well within 30 s (%d)\n", ended);
    undo();
    DeleteFileA(kFile);
    return inFile == expected && ended == 0 ? SpreadOf(rates).median : 0;
}

int RunAgainst(bool windowShown, const std::string& other) {
    constexpr int kPairs = 6;
    const std::string own = BinDirectory() + "norvale.exe";
    std::vector<double> ratios;
    for (int pair = 0; pair < kPairs; ++pair) {
        // Each build first in every other pair, so that neither gains from a
        // machine that warms up or tires as the runs go on.
        const bool otherFirst = pair % 2 == 0;
        const double first = Run(windowShown, otherFirst ? other : own);
        const double second = Run(windowShown, otherFirst ? own : other);
        if (first == 0 || second == 0) return 1;
        ratios.push_back(otherFirst ? second / first : first / second);
    }
    // The last run may have registered the other build as the server.
    if (RunAndWait("\"" + own + "\" /RegServer") != 0) return 1;
    const Spread spread = SpreadOf(ratios);
    std::printf("this build against %s, median server rate of each pair's runs: ratio %.2f (%.2f to %.2f)\n",
                other.c_str(), spread.median, spread.lowest, spread.highest);
    return 0;
}

}  // namespace
}  // namespace norvale

int main(int argc, char** argv) {
    norvale::StartSockets();
    bool shown = true;
    std::string other;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "hidden") {
            shown = false;
        } else if (argument == "--against" && i + 1 < argc) {
            other = argv[++i];
        } else {
            std::printf("usage: norvale_receive_bench [hidden] [--against OTHER.EXE]\n");
            return 2;
        }
    }
    if (!other.empty()) return norvale::RunAgainst(shown, other);
    return norvale::Run(shown, norvale::bench::BinDirectory() + "norvale.exe") > 0 ? 0 : 1;
}
