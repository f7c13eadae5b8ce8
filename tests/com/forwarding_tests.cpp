// Forwarding from real clients through a server started by hand to a real
// rsyslog on 127.0.0.1: a server text that does not parse says why, then a
// script's and this program's entries arrive with their fields over UDP and
// TCP, counted in the trace window; and with the collector gone for good, a
// queue that stays at its bound and counts every drop.

#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include "common/ansi_text.h"
#include "common/win32_resources.h"
#include "config/options_settings.h"
#include "config/registry_api.h"
#include "config/registry_values.h"
#include "forward/forwarding.h"
#include "tests/com/com_support.h"
#include "tests/com/in_process_host.h"
#include "tests/com/server_process.h"
#include "tests_support/rsyslog.h"
#include "tests_support/stuck_collector.h"
#include "tests_support/trace_window_reader.h"
#include "tests_support/wait_until.h"

namespace norvale {
namespace {

constexpr const char* kOptionsKey = OptionsLocation::kOptionsSettingsKey;
// The status bar's parts: the problem after receiving's counts.
constexpr size_t kProblem = 8;

class ForwardingServerTest : public testing::Test {
protected:
    ForwardingServerTest() : output_({}) {}
    void SetUp() override {
        if (!test::TRsyslog::Available()) GTEST_SKIP() << "no rsyslogd here: ./norvale setup installs it";
        RegApiDeleteTree(RegCurrentUser(), kOptionsKey);
        SetOption("ToSyslog", "1");
    }
    void TearDown() override { RegApiDeleteTree(RegCurrentUser(), kOptionsKey); }
    static void SetOption(const char* name, const std::string& value) {
        WriteRegString(RegCurrentUser(), kOptionsKey, name, value);
    }
    // The status bar's syslog counts, or its problem (the last part).
    std::wstring Shown(size_t part) {
        const test::TraceStatusParts parts = test::ReadTraceStatus(test::FindTraceWindow(server_->Process().Id()));
        return part < parts.size() ? parts[part] : std::wstring();
    }
    bool ShownWithin20s(size_t part, const std::wstring& text) {
        return test::WaitUntil([&] { return Shown(part) == text; }, std::chrono::seconds(20));
    }

    test::OutputSetup output_;
    std::unique_ptr<test::ServerProcess> server_;
};

TEST_F(ForwardingServerTest, EveryEntryOfAScriptAndACompiledClientArrivesWithItsFieldsOverUdpAndTcp) {
    test::TRsyslog rsyslog;
    ASSERT_TRUE(rsyslog.Start());
    const auto serverAt = [](const char* scheme, uint16_t port) {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
    };
    SetOption("SyslogServer", "udp//127.0.0.1");
    server_ = std::make_unique<test::ServerProcess>();
    EXPECT_TRUE(ShownWithin20s(kProblem, L"Forwarding is off: the syslog server \"udp//127.0.0.1\" does not begin with "
                                  L"\"udp://\" or \"tcp://\"."))
        << "shown: " << WideToAnsi(Shown(kProblem));
    // The server object reads the options when it is made.
    SetOption("SyslogServer", serverAt("udp", rsyslog.UdpPort()));
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    constexpr int kMessages = 200;
    // The server's notice, then each round's script (3 entries) and session.
    uint64_t entries = 1;
    for (const auto& [scheme, port] : {std::pair{"udp", rsyslog.UdpPort()}, {"tcp", rsyslog.TcpPort()}}) {
        SetOption("SyslogServer", serverAt(scheme, port));
        ASSERT_EQ(norvale->RefreshProperties(), S_OK);
        ASSERT_EQ(test::RunScript("unicode.js"), 0);
        ComPtr<IDebugSession> session;
        ASSERT_EQ(norvale->OpenSessionEx(test::Bstr(L"P"), test::Bstr(L"M"), test::Bstr(L"C"), test::Bstr(L"WS 12"),
                                         42, session.put()),
                  S_OK);
        for (int i = 0; i < kMessages; ++i) {
            ASSERT_EQ(session->AddMessage(3, 9, test::Bstr(AnsiToWide(scheme) + L" m" + std::to_wstring(i))), S_OK);
        }
        ASSERT_EQ(session->EnterMethod(3, test::Bstr(L"Post")), S_OK);
        ASSERT_EQ(session->AddStrings(3, 9, test::Bstr(L"Data"), test::Bstr(L"a\r\nb")), S_OK);
        ASSERT_EQ(session->CloseSession(), S_OK);
        entries += 3 + kMessages + 4;
    }
    EXPECT_TRUE(ShownWithin20s(6, L"Syslog: " + std::to_wstring(entries) + L" sent, 0 queued, 0 dropped"))
        << "shown: " << WideToAnsi(Shown(6));
    const std::string data =
        "[norvale@32473 project=\"P\" module=\"M\" class=\"C\" thread=\"00000003\" code=\"00000009\"]|\xEF\xBB\xBF";
    const std::string fields = "|WS_12|Norvale|42|msg|" + data;
    const std::string unicode =
        "|Norvale|-|msg|[norvale@32473 project=\"\xC3\x9C" "bung\" module=\"\xD0\x9C\xD0\xBE\xD0\xB4\" "
        "class=\"T\xE4\xB8\xAD\" thread=\"00000007\" code=\"00000000\"]|\xEF\xBB\xBF"
        "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x93 \xE4\xB8\xAD\xE6\x96\x87 \xE2\x9C\x93 \xF0\x9F\x98\x80\n";
    const auto all = [&] { return test::Occurrences(rsyslog.Received(), "|Norvale|42|") == 2 * (kMessages + 4); };
    ASSERT_TRUE(test::WaitUntil(all, std::chrono::seconds(20)))
        << "rsyslog did not write every entry; it has:\n" << rsyslog.Received();
    const std::string received = rsyslog.Received();
    EXPECT_EQ(test::Occurrences(received, unicode), 2u) << received;
    EXPECT_EQ(test::Occurrences(received, "|WS_12|Norvale|42|enter|"), 2u) << received;
    // A block's lines after line feeds, as rsyslog keeps them.
    EXPECT_EQ(test::Occurrences(received, "|WS_12|Norvale|42|block|" + data + "Data\na\nb\n"), 2u) << received;
    for (const char* scheme : {"udp", "tcp"}) {
        for (int i = 0; i < kMessages; ++i) {
            EXPECT_EQ(test::Occurrences(received, fields + scheme + " m" + std::to_string(i) + "\n"), 1u) << scheme << i;
        }
    }
}

// A collector that took the connection and never reads while a client sends
// 50 MB: the server ends on Close all the same, within forwarding's grace.
TEST_F(ForwardingServerTest, ACollectorThatStopsReadingDoesNotHoldUpTheEnd) {
    const test::TStuckCollector collector(false);
    SetOption("SyslogServer", "tcp://127.0.0.1:" + std::to_string(collector.Port()));
    server_ = std::make_unique<test::ServerProcess>();
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        ComPtr<IDebugSession> session;
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
        const std::wstring megabyte(size_t{1} << 20, L'x');
        for (int i = 0; i < 50; ++i) ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(megabyte)), S_OK) << i;
        ASSERT_EQ(session->CloseSession(), S_OK);
    }
    const auto closed = std::chrono::steady_clock::now();
    server_.reset();
    printf("the server ended %.2f s after Close (forwarding's grace: %lld s)\n",
           std::chrono::duration<double>(std::chrono::steady_clock::now() - closed).count(),
           static_cast<long long>(TForwarding::kGrace.count()));
}

// This process's commit charge (Wine leaves PrivateUsage at 0; on Windows the
// two are the same).
size_t CommittedBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    EXPECT_TRUE(K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters));
    return counters.PagefileUsage;
}

using ForwardingInProcessTest = test::InProcessHost;

// Hosted here, so that 200,000 calls take seconds: the server's objects,
// stage and forwarding as the server has them, sending to a port nobody
// listens on.
TEST_F(ForwardingInProcessTest, ACollectorGoneForGoodKeepsTheQueueAtItsBoundAndCountsEveryDrop) {
    uint16_t port = 0;
    {
        test::TRsyslog gone;
        if (!test::TRsyslog::Available()) GTEST_SKIP() << "no rsyslogd here: ./norvale setup installs it";
        ASSERT_TRUE(gone.Start());
        port = gone.TcpPort();
    }
    recorders_.options.SetFlag("ToSyslog", true);
    recorders_.options.Set("SyslogServer", "tcp://127.0.0.1:" + std::to_string(port));
    TForwarding forwarding(SyslogOrigin{"PC"});
    recorders_.outputs->SetForwarding(&forwarding);
    const struct Unwired {
        TProcessOutputs& outputs;
        ~Unwired() { outputs.SetForwarding(nullptr); }
    } unwired{*recorders_.outputs};
    ComPtr<INorvale> norvale = Activate();
    ASSERT_TRUE(norvale);
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    constexpr uint64_t kBound = TForwardQueue::kCapacity;
    const auto send = [&](uint64_t count) {
        for (uint64_t i = 0; i < count; ++i) {
            if (session->AddMessage(0, 0, test::Bstr(L"m" + std::to_wstring(i))) != S_OK) return false;
        }
        return true;
    };
    // The server's notice and the session's.
    const uint64_t before = forwarding.Status().counts.queued;
    const size_t empty = CommittedBytes();
    ASSERT_TRUE(send(kBound - before));
    const size_t full = CommittedBytes();
    ASSERT_TRUE(send(kBound));
    const size_t after = CommittedBytes();
    const ForwardStatus status = forwarding.Status();
    EXPECT_EQ(std::vector<uint64_t>({status.counts.sent, status.counts.queued, status.counts.dropped}),
              std::vector<uint64_t>({0, kBound, kBound}));
    EXPECT_EQ(status.problem.rfind("cannot reach the syslog server 127.0.0.1 port " + std::to_string(port), 0), 0u)
        << status.problem;
    EXPECT_LT(after - std::min(after, full), (full - std::min(full, empty)) / 4)
        << "committed bytes: " << empty << " empty, " << full << " full, " << after << " after as many again";
    EXPECT_EQ(session->CloseSession(), S_OK);
}

}  // namespace
}  // namespace norvale
