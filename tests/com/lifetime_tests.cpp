// When server processes and server objects come and go, and what they write
// as they do.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "common/system_error.h"
#include "output/formatting.h"
#include "tests/com/com_support.h"
#include "tests_support/child_process.h"
#include "tests_support/paths.h"

namespace norvale {
namespace {

using Lines = std::vector<std::string>;

// A server started by hand, ended by its handle at the end of the test.
class ManualServer {
public:
    explicit ManualServer(const std::string& outputPath = {})
        : process_("\"" + test::NorvaleExe() + "\"", outputPath) {
        // The class is offered a moment after start; activating earlier would
        // make the platform start a server of its own.
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    }
    ~ManualServer() { EXPECT_EQ(process_.Quit(), 0); }
    bool StillRunning() { return process_.WaitForExit(300) == -1; }

private:
    test::ChildProcess process_;
};

TEST(LifetimeTest, AutomationServerEndsWithItsLastServerReference) {
    test::OutputSetup output({});
    ComPtr<IDebugSession> session;
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"kept"), session.put()), S_OK);
    }
    // Holding a session does not keep the process: its calls stop reaching it.
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"),
              (Lines{"Norvale Starting Up", "Session opened.", "Norvale Shutting Down"}));
    HRESULT result = S_OK;
    for (int attempt = 0; attempt < 100 && result == S_OK; ++attempt) {
        result = session->AddMessage(0, 0, test::Bstr(L"after the end"));
        if (result == S_OK) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_NE(result, S_OK);
    EXPECT_EQ(output.Lines().back(), "Norvale Shutting Down");
}

TEST(LifetimeTest, ManualServerRunsOnAndMakesANewObjectLater) {
    test::OutputSetup output({});
    ManualServer server;
    test::ActivateNorvale();
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"), (Lines{"Norvale Starting Up", "Norvale Shutting Down"}));
    EXPECT_TRUE(server.StillRunning());
    {
        ComPtr<INorvale> again = test::ActivateNorvale();
        ASSERT_TRUE(again);
    }
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"),
              (Lines{"Norvale Starting Up", "Norvale Shutting Down", "Norvale Starting Up", "Norvale Shutting Down"}));
    EXPECT_TRUE(server.StillRunning());
}

TEST(LifetimeTest, TwoClientsShareOneServerObject) {
    test::OutputSetup output({"IncludeProject"});
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        ComPtr<IDebugSession> session;
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"first client"), session.put()), S_OK);
        EXPECT_EQ(test::RunScript("one_session.vbs"), 0);
        EXPECT_EQ(session->CloseSession(), S_OK);

        // The running-object table holds the very object activations get.
        ComPtr<IUnknown> active;
        ASSERT_EQ(GetActiveObject(CLSID_Norvale, nullptr, active.put()), S_OK);
        EXPECT_EQ(active.get(), norvale.query<IUnknown>(IID_IUnknown).get());
    }
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"),
              (Lines{"Norvale Starting Up", "first client Session opened.", "second client Session opened.",
                     "second client hello from the second client", "second client Session closed.",
                     "first client Session closed.", "Norvale Shutting Down"}));
}

TEST(LifetimeTest, FailedStartOfTheServerObjectIsReportedAndTheServerGoesOn) {
    test::OutputSetup output({});
    test::ScratchDirectory dir;
    output.Set("Filename", "c:\\nodir\\x.txt");
    {
        ManualServer server(dir.PathOf("server.txt"));
        HRESULT result = S_OK;
        EXPECT_FALSE(test::ActivateNorvale(&result));
        EXPECT_EQ(result, E_UNEXPECTED);
        output.Set("Filename", output.FilePath());
        EXPECT_TRUE(test::ActivateNorvale(&result)) << std::hex << result;
        EXPECT_TRUE(server.StillRunning());
    }
    EXPECT_EQ(test::ReadWholeFile(dir.PathOf("server.txt")),
              "DAX Error: cannot open output file \"c:\\nodir\\x.txt\": " + SystemErrorText(ERROR_PATH_NOT_FOUND) +
                  "\r\n");
}

std::string DefaultValueOf(const std::string& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return "(none)";
    char value[MAX_PATH * 2] = {};
    DWORD size = sizeof value - 1;
    RegQueryValueExA(opened, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(opened);
    return value;
}

TEST(RegistrationTest, RegisterAndUnregisterSwitches) {
    const std::string clsid = "CLSID\\{00000001-6E4F-4B3A-8C23-4E6F7276616C}";
    const std::string exe = "\"" + test::NorvaleExe() + "\" ";
    ASSERT_EQ(test::RunProgram(exe + "/UnregServer"), 0);
    EXPECT_EQ(DefaultValueOf(clsid), "(none)");
    EXPECT_EQ(DefaultValueOf("Norvale.Norvale"), "(none)");
    EXPECT_EQ(DefaultValueOf("TypeLib\\{00000001-6E4F-4B3A-8C21-4E6F7276616C}\\1.0"), "(none)");

    for (const char* registerSwitch : {"-regserver", "/RegServer"}) {
        ASSERT_EQ(test::RunProgram(exe + registerSwitch), 0) << registerSwitch;
        EXPECT_EQ(DefaultValueOf(clsid), "brantwick Norvale");
        EXPECT_EQ(DefaultValueOf(clsid + "\\LocalServer32"), test::NorvaleExe());
        EXPECT_EQ(DefaultValueOf(clsid + "\\ProgID"), "Norvale.Norvale");
        EXPECT_EQ(DefaultValueOf(clsid + "\\Version"), "1.0");
        EXPECT_EQ(DefaultValueOf(clsid + "\\TypeLib"), "{00000001-6E4F-4B3A-8C21-4E6F7276616C}");
        EXPECT_EQ(DefaultValueOf("Norvale.Norvale"), "brantwick Norvale");
        EXPECT_EQ(DefaultValueOf("Norvale.Norvale\\Clsid"), "{00000001-6E4F-4B3A-8C23-4E6F7276616C}");
        EXPECT_EQ(DefaultValueOf("TypeLib\\{00000001-6E4F-4B3A-8C21-4E6F7276616C}\\1.0"), "brantwick Norvale Library");
        EXPECT_EQ(DefaultValueOf("CLSID\\{00000002-6E4F-4B3A-8C23-4E6F7276616C}"), "(none)");
    }
}

// The lines of the load: each session's messages "m<n>" in order, after
// every 25th its block "b<n>" with its three lines right below it.
void CheckLoad(const Lines& lines, const std::vector<std::string>& tags, int threads, int messages) {
    std::map<std::string, std::pair<int, int>> next;  // next message, next block
    for (const auto& tag : tags) {
        for (int t = 0; t < threads; ++t) next[tag + "t" + std::to_string(t)] = {0, 24};
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line == "Norvale Starting Up" || line == "Norvale Shutting Down" || line == "Session opened." ||
            line == "Session closed.") {
            continue;
        }
        const size_t space = line.find(' ');
        ASSERT_NE(space, std::string::npos) << "line " << i << ": " << line;
        const auto found = next.find(line.substr(0, space));
        ASSERT_NE(found, next.end()) << "line " << i << ": " << line;
        auto& [message, block] = found->second;
        if (line[space + 1] == 'm') {
            ASSERT_EQ(line, found->first + " m" + std::to_string(message)) << "line " << i;
            ++message;
            continue;
        }
        ASSERT_EQ(line, found->first + " b" + std::to_string(block)) << "line " << i;
        ASSERT_LT(block, message) << "block before its message: " << line;
        for (int l = 0; l < 3; ++l) {
            ASSERT_LT(i + 1, lines.size());
            ASSERT_EQ(lines[++i], "  " + line + " l" + std::to_string(l)) << "block " << line << " broken";
        }
        block += 25;
    }
    for (const auto& [session, counts] : next) {
        EXPECT_EQ(counts.first, messages) << session;
        EXPECT_EQ(counts.second, messages + 24) << session;
    }
}

TEST(ConcurrencyTest, ThreadsOfTwoProcessesNeverLoseOrInterleaveALine) {
    constexpr int kThreads = 4;
    constexpr int kMessages = 500;
    test::OutputSetup output({});
    output.Set("FlushOutputFile", "0");
    {
        // Holding the server keeps both clients on one server object.
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        const std::string helper = "\"" + test::BinDirectory() + "norvale_test_helper.exe\" clients ";
        const std::string counts = " " + std::to_string(kThreads) + " " + std::to_string(kMessages);
        test::ChildProcess first(helper + "a" + counts);
        test::ChildProcess second(helper + "b" + counts);
        EXPECT_EQ(first.WaitForExit(120000), 0);
        EXPECT_EQ(second.WaitForExit(120000), 0);
    }
    CheckLoad(output.LinesEndingWith("Norvale Shutting Down"), {"a", "b"}, kThreads, kMessages);
}

}  // namespace
}  // namespace norvale
