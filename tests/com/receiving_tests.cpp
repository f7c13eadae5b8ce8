// A server started by hand receives syslog from three machines at once, one
// of them a Norvale forwarding from a second Wine prefix, and shows them in
// its trace window, while
// garbage, a 1 MB line and 100 connections that send nothing arrive beside
// them and a client's calls go on being served.

// Winsock's header brings windows.h, after itself as it must.
#include "tests_support/loopback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/ansi_text.h"
#include "config/options_settings.h"
#include "config/registry_api.h"
#include "config/registry_values.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "tests_support/paths.h"
#include "tests_support/scratch.h"
#include "tests_support/trace_window_reader.h"
#include "tests_support/unix_program.h"
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

// A Norvale in a second Wine prefix, with a wineserver of its own, as on
// another machine: a client there, "WS1", sends one entry through a server
// that forwards it over TCP to `port`. Only the Unix side can name another
// prefix, so a shell runs the steps and leaves their outcome in files.
// Nothing when the client ended well and every process of that prefix within
// 60 s, else what went wrong. The prefix is kept beside the test programs.
bool UnixSideHere() { return test::BinDirectory().starts_with("Z:\\") && test::FileExists("Z:\\bin\\sh"); }

std::string ForwardFromSecondPrefix(uint16_t port) {
    const std::string bin = test::BinDirectory(), folder = "Z:\\tmp\\" + test::UniqueTestName("second-prefix");
    struct TFolder {
        std::string path;
        ~TFolder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } const scratch{folder};
    std::filesystem::create_directories(folder);
    test::WriteWholeFile(folder + "\\client.vbs",
                         "On Error Resume Next\r\nSet norvale = CreateObject(\"Norvale.Norvale\")\r\n"
                         "Set session = norvale.OpenSessionEx(\"P\", \"M\", \"TC\", \"WS1\", 42)\r\n"
                         "session.AddMessage 7, 9, \"from WS1\"\r\nsession.CloseSession\r\n"
                         "Set session = Nothing\r\nSet norvale = Nothing\r\nWScript.Quit Err.Number\r\n");
    const std::string options = "'HKCU\\Software\\brantwick\\Norvale\\Options'";
    test::WriteWholeFile(folder + "\\steps.sh",
                         "cd " + test::UnixPath(folder) + " && exec >log.txt 2>&1 </dev/null\n"
                         // Made anew when Wine changed (its 32-bit part breaks older prefixes).
                         "wine=$(dpkg-query -W 'libwine*')\n"
                         "[ \"$(cat \"$WINEPREFIX/.made\")\" = \"$wine\" ] || { rm -rf \"$WINEPREFIX\" && "
                         "timeout 300 wineboot -i && timeout 120 wineserver -w && "
                         "echo \"$wine\" >\"$WINEPREFIX/.made\"; } || exit\n"
                         "timeout 60 wine reg add " + options + " /v ToSyslog /d 1 /f\n"
                         "timeout 60 wine reg add " + options + " /v SyslogServer /d tcp://127.0.0.1:" +
                             std::to_string(port) + " /f\n"
                         "timeout 60 wine '" + bin + "norvale.exe' /RegServer\n"
                         // A prefix just made is slow to start its first server.
                         "timeout 300 wine cscript //nologo '" + folder + "\\client.vbs'\n"
                         "echo \"client $?\" >status.txt\n"
                         "timeout 60 wineserver -w; echo \"prefix $?\" >>status.txt\n");
    char display[64] = {};
    GetEnvironmentVariableA("DISPLAY", display, sizeof display);
    // Nothing of this prefix's Wine goes along: the shell's Wine starts a
    // wineserver of the other prefix.
    const std::string command = "env -i PATH=/usr/bin:/bin HOME=" + test::UnixPath(folder) + " DISPLAY=" + display +
                          " WINEPREFIX=" + test::UnixPath(bin) + "../second-wineprefix WINEARCH=win64 WINEDEBUG=-all sh " +
                          test::UnixPath(folder) + "/steps.sh";
    if (!test::StartUnixProgram("Z:\\usr\\bin\\env", command)) return "the shell did not start";
    const std::string status = folder + "\\status.txt";
    const bool ended =
        test::WaitUntil([&] { return test::ReadWholeFile(status).find("prefix") != std::string::npos; }, 600s);
    const std::string outcome = ended ? test::ReadWholeFile(status) : "nothing within 600 s";
    if (outcome == "client 0\nprefix 0\n") return "";
    return "steps: " + outcome + "; log:\n" + test::ReadWholeFile(folder + "\\log.txt");
}

TEST_F(ReceivingServerTest, ThreeMachinesShowInTheWindowWhileNothingFromOutsideHoldsTheServerUp) {
    if (!UnixSideHere()) GTEST_SKIP() << "a second prefix needs Wine and its Unix side";
    const uint16_t tcp = test::FreePort(SOCK_STREAM), udp = test::FreePort(SOCK_DGRAM);
    WriteRegString(RegCurrentUser(), kOptionsKey, "ListenSyslog", "1");
    WriteRegString(RegCurrentUser(), kOptionsKey, "ListenAddress",
                   "tcp://127.0.0.1:" + std::to_string(tcp) + ";udp://127.0.0.1:" + std::to_string(udp));
    const test::OutputSetup output({});
    test::ServerProcess server;
    ASSERT_TRUE(test::WaitUntil([&] { return test::Listening(tcp); }, 20s)) << "the server listening within 20 s";

    // Norvale's forwarding from "WS1" in a prefix of its own, a BSD message
    // from "host2" and a datagram from "host3".
    ASSERT_EQ(ForwardFromSecondPrefix(tcp), "");
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
    ASSERT_TRUE(shownWithin20s(L"Received: 9, malformed 2, dropped 0, 1 cut"));
    // One address keeps 8 connections: the talker's and 92 quiet ones give
    // their places to newer ones.
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

    shownWithin20s(L"Received: 9, malformed 2, dropped 0, 1 cut, 93 connections replaced");
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
        return rows.size() == 12;
    };
    EXPECT_TRUE(test::WaitUntil(read, 20s)) << "the window did not show 12 rows within 20 s";
    // The second prefix's server forwards its own notices under the name
    // of the computer, which both prefixes share.
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(computer, &length);
    const std::wstring notice = std::wstring(computer) + L"||||||00000000|Norvale ";
    EXPECT_EQ(rows, (std::vector<std::wstring>{
                        L"127.0.0.1||||||00000000|" + std::wstring(40, L'x') + L"|", L"127.0.0.1||||||00000000|\u2401garbage|",
                        L"HERE|00000001|C||||00000000|Session closed.|", L"HERE|00000001|C||||00000000|Session opened.|",
                        L"HERE|00000001|C||||00000000|from the client|", notice + L"Shutting Down|", notice + L"Starting Up|",
                        L"WS1|0000002a|P|M|TC|00000007|00000009|from WS1|", L"WS1|0000002a|P|M|TC||00000000|Session closed.|",
                        L"WS1|0000002a|P|M|TC||00000000|Session opened.|", L"host2|00000005||tag|||00000005|from host2|",
                        L"host3|00000006||app|||00000003|from host3|",
                    }));
}

}  // namespace
}  // namespace norvale
