// When server processes and server objects come and go, and what they write
// as they do.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "app/registration.h"
#include "common/system_error.h"
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

TEST(RegistrationTest, LocalServerPathIsShortWhenThePathHasASpace) {
    test::ScratchDirectory dir;
    const std::string folder = dir.PathOf("with space");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string exe = folder + "\\norvale.exe";
    test::WriteWholeFile(exe, "");
    const std::string registered = LocalServerPath(exe);
    EXPECT_EQ(registered.find(' '), std::string::npos) << registered;
    char longForm[MAX_PATH] = {};
    ASSERT_GT(GetLongPathNameA(registered.c_str(), longForm, MAX_PATH), 0u);
    EXPECT_EQ(_stricmp(longForm, exe.c_str()), 0) << longForm;
    EXPECT_EQ(LocalServerPath(test::NorvaleExe()), test::NorvaleExe());
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
        test::ChildProcess first(test::LoadClientCommand("a", kThreads, kMessages));
        test::ChildProcess second(test::LoadClientCommand("b", kThreads, kMessages));
        EXPECT_EQ(first.WaitForExit(120000), 0);
        EXPECT_EQ(second.WaitForExit(120000), 0);
    }
    test::CheckLoad(output.LinesEndingWith("Norvale Shutting Down"), {{"a", kMessages}, {"b", kMessages}}, kThreads);
}

TEST(ConcurrencyTest, FourProcessesClosingTheFileAfterEveryEntry) {
    constexpr int kThreads = 4;
    constexpr int kMessages = 200;
    test::OutputSetup output({});
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        std::vector<std::unique_ptr<test::ChildProcess>> clients;
        for (const char* tag : {"a", "b", "c", "d"}) {
            clients.push_back(std::make_unique<test::ChildProcess>(test::LoadClientCommand(tag, kThreads, kMessages)));
        }
        for (auto& client : clients) EXPECT_EQ(client->WaitForExit(120000), 0);
    }
    test::CheckLoad(output.LinesEndingWith("Norvale Shutting Down"),
                    {{"a", kMessages}, {"b", kMessages}, {"c", kMessages}, {"d", kMessages}}, kThreads);
}

}  // namespace
}  // namespace norvale
