// A server started by hand receives syslog from three machines at once, one
// of them Norvale's own forwarding, and shows them in its trace window, while
// garbage, a 1 MB line and 100 connections that send nothing arrive beside
// them and a client's calls go on being served.

// Winsock's header brings windows.h, after itself as it must.
#include "tests_support/loopback.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/ansi_text.h"
#include "config/options_settings.h"
#include "config/registry_api.h"
#include "config/registry_values.h"
#include "forward/syslog_sender.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "tests_support/trace_window_reader.h"
#include "tests_support/wait_until.h"

namespace norvale {
namespace {

using namespace std::chrono_literals;

constexpr const char* kOptionsKey = OptionsLocation::kOptionsSettingsKey;

class ReceivingServerTest : public testing::Test {
protected:
    void SetUp() override { RegApiDeleteTree(RegCurrentUser(), kOptionsKey); }
    void TearDown() override { RegApiDeleteTree(RegCurrentUser(), kOptionsKey); }
};

TEST_F(ReceivingServerTest, ThreeMachinesShowInTheWindowWhileNothingFromOutsideHoldsTheServerUp) {
    const uint16_t tcp = test::FreePort(SOCK_STREAM), udp = test::FreePort(SOCK_DGRAM);
    WriteRegString(RegCurrentUser(), kOptionsKey, "ListenSyslog", "1");
    WriteRegString(RegCurrentUser(), kOptionsKey, "ListenAddress",
                   "tcp://127.0.0.1:" + std::to_string(tcp) + ";udp://127.0.0.1:" + std::to_string(udp));
    const test::OutputSetup output({});
    test::ServerProcess server;
    ASSERT_TRUE(test::WaitUntil([&] { return test::Listening(tcp); }, 20s)) << "the server listening within 20 s";

    // Norvale's forwarding from "WS1", a BSD message from "host2" and a
    // datagram from "host3".
    TForwardQueue forwarded;
    const auto source = std::make_shared<TraceSource>(TraceSource{L"P", L"M", L"", L"WS1", 42});
    forwarded.Push(std::make_shared<ForwardedEntry>(
        ForwardedEntry{source, L"TC", 7, 9, MessageKind::Plain, LocalNow(), L"from WS1 \u4e2d", {}}));
    TSyslogSender sender(forwarded, {SyslogTransport::Tcp, "127.0.0.1", tcp}, ConnectSyslog, {"PC"}, UtcOffsetMinutes);
    const UniqueSocket talker = test::ConnectTo(tcp);
    ASSERT_TRUE(test::SendAll(talker.get(), "<13>Dec  9 23:00:00 host2 tag[5]: from host2\n\x01garbage\n" +
                                                std::string(1 << 20, 'x') + "\n"));
    test::SendDatagram(udp, "<11>1 - host3 app 6 - - from host3");
    const HWND window = test::FindTraceWindow(server.Process().Id());
    const auto shownWithin20s = [&](const std::wstring& counts) {
        const bool shown = test::WaitUntil([&] { return test::ReadTraceStatus(window)[7] == counts; }, 20s);
        EXPECT_TRUE(shown) << "shown: " << WideToAnsi(test::ReadTraceStatus(window)[7]);
        return shown;
    };
    ASSERT_TRUE(shownWithin20s(L"Received: 5, malformed 2, dropped 0, 1 cut"));
    // With the sender's and the talker's, 64 connections; 38 more are refused.
    std::vector<UniqueSocket> quiet;
    for (int i = 0; i < 100; ++i) quiet.push_back(test::ConnectTo(tcp));

    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSessionEx(test::Bstr(L"C"), test::Bstr(L""), test::Bstr(L""), test::Bstr(L"HERE"), 1,
                                     session.put()),
              S_OK);
    ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"from the client")), S_OK);
    ASSERT_EQ(session->CloseSession(), S_OK);

    shownWithin20s(L"Received: 5, malformed 2, dropped 0, 1 cut, 38 connections refused");
    // Machine, process, project, module, class, thread, code, message; the
    // cut line's first characters.
    const auto cells = [](const std::vector<std::wstring>& row) {
        std::wstring text;
        for (size_t i = 1; i < row.size(); ++i) text += row[i].substr(0, 40) + L"|";
        return text;
    };
    // The server's own notices (no machine) aside; the window takes the last
    // rows a moment after the calls.
    std::vector<std::wstring> rows;
    const auto read = [&] {
        rows.clear();
        for (const auto& row : test::ReadTraceWindow(window).rows) {
            if (!row[1].empty()) rows.push_back(cells(row));
        }
        std::sort(rows.begin(), rows.end());
        return rows.size() == 8;
    };
    EXPECT_TRUE(test::WaitUntil(read, 20s)) << "the window did not show 8 rows within 20 s";
    EXPECT_EQ(rows, (std::vector<std::wstring>{
                        L"127.0.0.1||||||00000000|\x01garbage|", L"127.0.0.1||||||00000000|" + std::wstring(40, L'x') + L"|",
                        L"HERE|00000001|C||||00000000|Session closed.|", L"HERE|00000001|C||||00000000|Session opened.|",
                        L"HERE|00000001|C||||00000000|from the client|", L"WS1|0000002a|P|M|TC|00000007|00000009|from WS1 \u4e2d|",
                        L"host2|00000005||tag|||00000005|from host2|", L"host3|00000006||app|||00000003|from host3|",
                    }));
    sender.Finish(5s);
}

}  // namespace
}  // namespace norvale
