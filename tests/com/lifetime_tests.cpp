// When server processes and server objects come and go, and what they write
// as they do.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include <future>
#include <optional>

#include "app/registration.h"
#include "common/mutex.h"
#include "common/system_error.h"
#include "config/registry_api.h"
#include "server/server_instance.h"
#include "shell/shell_resources.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "tests_support/child_process.h"
#include "tests_support/message_box.h"
#include "tests_support/paths.h"
#include "tests_support/process_windows.h"
#include "tests_support/wait_until.h"

namespace norvale {
namespace {

using test::ServerProcess;
using Lines = std::vector<std::string>;

// Servers started in its scope show their message boxes, for a test to
// answer; the others report failures on standard error.
class DialogsShown {
public:
    DialogsShown() { SetEnvironmentVariableA("NORVALE_NO_DIALOGS", nullptr); }
    ~DialogsShown() { SetEnvironmentVariableA("NORVALE_NO_DIALOGS", "1"); }
};

// Whether the running-object table holds an entry for class Norvale, without
// taking the object out (Wine hands a weakly registered object out only once).
bool NorvaleIsRunning() {
    ComPtr<IRunningObjectTable> table;
    if (FAILED(GetRunningObjectTable(0, table.put()))) return false;
    wchar_t classText[40] = {};
    StringFromGUID2(CLSID_Norvale, classText, 40);
    ComPtr<IMoniker> moniker;
    if (FAILED(CreateItemMoniker(L"!", classText, moniker.put()))) return false;
    return table->IsRunning(moniker.get()) == S_OK;
}

TEST(LifetimeTest, AutomationServerEndsCleanlyWhileAClientStillHoldsASession) {
    test::OutputSetup output({});
    ServerProcess server("-Embedding");
    ComPtr<IDebugSession> session;
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"kept"), session.put()), S_OK);
    }
    // Holding a session does not keep the process.
    EXPECT_EQ(server.Process().WaitForExit(20000), 0);
    EXPECT_EQ(output.Lines(), (Lines{"Norvale Starting Up", "Session opened.", "Norvale Shutting Down"}));
    EXPECT_NE(session->AddMessage(0, 0, test::Bstr(L"after the end")), S_OK);
    EXPECT_EQ(output.LastLine(), "Norvale Shutting Down");
}

TEST(LifetimeTest, ClosingWithALiveClientAsksFirst) {
    test::OutputSetup output({});
    output.Set("FlushOutputFile", "0");
    DialogsShown dialogs;
    ServerProcess server;
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"held"), session.put()), S_OK);
    ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"before")), S_OK);

    ASSERT_TRUE(server.Process().RequestClose());
    HWND box = test::WaitForMessageBox(server.Process().Id(), "COM Server Warning");
    ASSERT_NE(box, nullptr) << "no warning box within 20 s";
    EXPECT_EQ(test::DescribeMessageBox(box),
              "There are still active COM objects in this application.  One or more clients may have references to "
              "these objects, so manually closing this application may cause those client application(s) to "
              "fail.\r\n\r\nAre you sure you want to close this application?|&Yes,&No(default)");
    test::AnswerMessageBox(box, IDNO);
    EXPECT_EQ(session->AddMessage(0, 0, test::Bstr(L"after No")), S_OK);

    ASSERT_TRUE(server.Process().RequestClose());
    box = test::WaitForMessageBox(server.Process().Id(), "COM Server Warning");
    ASSERT_NE(box, nullptr) << "no second warning box within 20 s";
    test::AnswerMessageBox(box, IDYES);
    EXPECT_EQ(server.Process().WaitForExit(20000), 0);
    // The server object was still held, so it was not destroyed: no notice,
    // but nothing that waited in the file's buffer is lost.
    EXPECT_EQ(output.Lines(), (Lines{"Norvale Starting Up", "Session opened.", "before", "after No"}));
}

TEST(LifetimeTest, ClosingWithoutClientsEndsAtOnce) {
    ServerProcess server;
    test::ActivateNorvale();
    ASSERT_TRUE(server.Process().RequestClose());
    EXPECT_EQ(server.Process().WaitForExit(20000), 0);
}

TEST(LifetimeTest, FailedStartShowsItsBoxWithoutHoldingUpOthersOrEndingTheProcess) {
    test::OutputSetup output({});
    output.Set("Filename", "c:\\nodir\\x.txt");
    DialogsShown dialogs;
    ServerProcess server("-Embedding");
    HRESULT failed = S_OK;
    std::thread first([&failed] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        test::ActivateNorvale(&failed);
        CoUninitialize();
    });
    HWND box = test::WaitForMessageBox(server.Process().Id(), "DAX Error");
    if (box == nullptr) {
        first.join();
        FAIL() << "no DAX Error box within 20 s";
    }
    EXPECT_EQ(test::DescribeMessageBox(box),
              ActivationFailureText("cannot open output file \"c:\\nodir\\x.txt\": " +
                                    SystemErrorText(ERROR_PATH_NOT_FOUND)) +
                  "|OK(default)");

    // While the box waits for the user, other clients are served.
    output.Set("Filename", output.FilePath());
    auto second = std::async(std::launch::async, [] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        HRESULT result = S_OK;
        test::ActivateNorvale(&result);
        CoUninitialize();
        return result;
    });
    const bool served = second.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    EXPECT_TRUE(served) << "a second activation waited 20 s for the box";
    EXPECT_TRUE(server.StillRunning());

    test::AnswerMessageBox(box, IDOK);
    first.join();
    EXPECT_EQ(failed, E_UNEXPECTED);
    if (served) {
        EXPECT_EQ(second.get(), S_OK);
    }
    EXPECT_EQ(server.Process().WaitForExit(20000), 0);
}

// The tracer example's first activation waits on the server's box: its Flush
// gives up after 10 s, its tracer's end 2 s later, and the program ends,
// saying so, while the box still waits and its tracer's thread still waits
// for the activation.
TEST(LifetimeTest, ATracersProgramEndsWhileItsActivationWaitsOnTheServersBox) {
    test::OutputSetup output({});
    output.Set("Filename", "c:\\nodir\\x.txt");
    DialogsShown dialogs;
    ServerProcess server("-Embedding");
    const test::ScratchDirectory dir;
    const std::string printed = dir.PathOf("printed.txt");
    test::ChildProcess client("\"" + test::BinDirectory() + "norvale_example_tracer.exe\"", printed);
    HWND box = test::WaitForMessageBox(server.Process().Id(), "DAX Error");
    ASSERT_NE(box, nullptr) << "no DAX Error box within 20 s";
    EXPECT_EQ(client.WaitForExit(60000), 1) << "the tracer example did not end within 60 s of its start";
    EXPECT_EQ(test::ReadWholeFile(printed), "Norvale did not take the entries within 10 s\r\n");
    EXPECT_TRUE(IsWindow(box)) << "the box was answered before the example ended";
    test::AnswerMessageBox(box, IDOK);
}

TEST(LifetimeTest, RunningObjectEntryGoesWithTheServerObject) {
    ServerProcess server;
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        EXPECT_TRUE(NorvaleIsRunning());
    }
    EXPECT_FALSE(NorvaleIsRunning());
}

TEST(LifetimeTest, AutomationServerStaysWhileTheUserHasItsWindowShown) {
    test::OutputSetup output({});
    ServerProcess server("-Embedding");
    HWND frame = nullptr;
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        frame = test::FindProcessWindow(server.Process().Id(), "TMainForm");
        ASSERT_NE(frame, nullptr);
        SendMessageA(frame, WM_COMMAND, ID_AC_SHOWDEBUGWINDOW, 0);
    }
    EXPECT_EQ(server.Process().WaitForExit(3000), -1) << "ended with its last client while its window was shown";
    // The close box hides the frame: with no client left the process ends.
    SendMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(server.Process().WaitForExit(20000), 0);
}

// A client's call may hold the output lock for seconds (a viewer starting or
// hung): held from here while the shell comes up and goes, the main thread
// answers and takes its windows down meanwhile.
TEST(LifetimeTest, TheShellComesAndGoesWhileTheOutputLockIsHeld) {
    test::OutputSetup output({});
    TMutex outputLock("brantwick Norvale Mutex");
    auto held = std::make_optional<TMutexLock>(outputLock);
    ServerProcess server;
    HWND frame = nullptr;
    EXPECT_TRUE(test::WaitUntil(
        [&] { return (frame = test::FindProcessWindow(server.Process().Id(), "TMainForm")) != nullptr; },
        std::chrono::seconds(20)))
        << "no frame within 20 s";
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer), 0)
        << "the frame did not answer within 5 s while the output lock was held";
    server.Process().Quit(0);
    EXPECT_TRUE(test::WaitUntil([&] { return !IsWindow(frame); }, std::chrono::seconds(10)))
        << "the frame did not go within 10 s of the quit while the output lock was held";
    // Its output file is closed under the lock: the process ends once it is free.
    held.reset();
}

// The icons of Wine's notification area, which stands alone without a
// window manager; -1 where there is none (Windows itself).
int TrayIconCount() {
    const HWND tray = FindWindowA(nullptr, "Wine System Tray");
    if (tray == nullptr) return -1;
    int count = 0;
    EnumChildWindows(
        tray, [](HWND, LPARAM counted) { return ++*reinterpret_cast<int*>(counted), TRUE; },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST(LifetimeTest, TrayIconIsThereWhileTheServerRuns) {
    const int before = TrayIconCount();
    if (before < 0) GTEST_SKIP() << "no standalone notification area to look into";
    // No placement stored: the Trace document opens maximized in the frame.
    RegApiDeleteTree(RegCurrentUser(), "Software\\brantwick\\Norvale\\Options\\TraceWindow");
    {
        ServerProcess server;
        // The frame comes first, then its document and the icon.
        EXPECT_TRUE(test::WaitUntil([&] { return TrayIconCount() == before + 1; }, std::chrono::seconds(20)))
            << "the server's icon within 20 s; icons: " << TrayIconCount();
        const HWND frame = FindWindowA("TMainForm", nullptr);
        ASSERT_NE(frame, nullptr);
        // The frame's own caption, with its maximized document's as the platform adds it.
        const std::string caption = "brantwick Norvale " + std::string(NORVALE_VERSION_TEXT) + " - [Trace]";
        EXPECT_TRUE(test::WaitUntil([&] { return test::WindowText(frame) == caption; }, std::chrono::seconds(20)))
            << "the caption within 20 s: " << test::WindowText(frame);
        EXPECT_FALSE(IsWindowVisible(frame));
    }
    EXPECT_EQ(TrayIconCount(), before);
}

TEST(LifetimeTest, ManualServerRunsOnAndMakesANewObjectLater) {
    test::OutputSetup output({});
    ServerProcess server;
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
    output.Set("Filename", "c:\\nodir\\x.txt");
    ServerProcess server;
    server.ExpectOutput("DAX Error: cannot open output file \"c:\\nodir\\x.txt\": " +
                        SystemErrorText(ERROR_PATH_NOT_FOUND) + "\r\n");
    HRESULT result = S_OK;
    EXPECT_FALSE(test::ActivateNorvale(&result));
    EXPECT_EQ(result, E_UNEXPECTED);
    output.Set("Filename", output.FilePath());
    EXPECT_TRUE(test::ActivateNorvale(&result)) << std::hex << result;
    EXPECT_TRUE(server.StillRunning());
}

// A value of the classes in the 64-bit view, or with `view` KEY_WOW64_32KEY the 32-bit one.
std::string DefaultValueOf(const std::string& key, REGSAM view = 0, const char* name = nullptr) {
    UniqueRegKey opened;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE | view, opened.put())) return "(none)";
    char value[MAX_PATH * 2] = {};
    DWORD size = sizeof value - 1;
    RegQueryValueExA(opened.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
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
        // The interface of no coclass is marshaled all the same.
        const std::string session2 = "Interface\\{00000006-6E4F-4B3A-8C22-4E6F7276616C}";
        EXPECT_EQ(DefaultValueOf(session2), "IDebugSession2");
        EXPECT_EQ(DefaultValueOf(session2 + "\\ProxyStubClsid32"), "{00020424-0000-0000-C000-000000000046}");
        EXPECT_EQ(DefaultValueOf(session2 + "\\TypeLib") + DefaultValueOf(session2 + "\\TypeLib", 0, "Version"),
                  "{00000001-6E4F-4B3A-8C21-4E6F7276616C}1.0");
    }
}

TEST(RegistrationTest, The32BitViewHoldsClassInterfacesAndLibraryUntilUnregistered) {
    constexpr REGSAM kView32 = KEY_WOW64_32KEY;
    const std::string libraryId = "{00000001-6E4F-4B3A-8C21-4E6F7276616C}";
    const std::string clsid = "CLSID\\{00000001-6E4F-4B3A-8C23-4E6F7276616C}";
    const std::string exe = "\"" + test::NorvaleExe() + "\" ";
    ASSERT_EQ(test::RunProgram(exe + "/RegServer"), 0);
    EXPECT_EQ(DefaultValueOf(clsid + "\\LocalServer32", kView32), test::NorvaleExe());
    EXPECT_EQ(DefaultValueOf("Norvale.Norvale\\Clsid", kView32), "{00000001-6E4F-4B3A-8C23-4E6F7276616C}");
    EXPECT_EQ(DefaultValueOf("TypeLib\\" + libraryId + "\\1.0\\0\\win32", kView32), test::NorvaleExe() + "\\2");
    std::vector<std::string> gone = {clsid, "Norvale.Norvale", "TypeLib\\" + libraryId};
    const char* interfaces[] = {"INorvale",         "IDebugSession", "IDebugClients",
                                "IDebugClientSink", "IDebugProcess", "IDebugSession2"};
    for (int n = 1; n <= 6; ++n) {
        const std::string key = "Interface\\{0000000" + std::to_string(n) + "-6E4F-4B3A-8C22-4E6F7276616C}";
        gone.push_back(key);
        EXPECT_EQ(DefaultValueOf(key, kView32), interfaces[n - 1]);
        EXPECT_EQ(DefaultValueOf(key + "\\ProxyStubClsid32", kView32), "{00020424-0000-0000-C000-000000000046}");
        EXPECT_EQ(DefaultValueOf(key + "\\TypeLib", kView32) + DefaultValueOf(key + "\\TypeLib", kView32, "Version"),
                  libraryId + "1.0");
    }
    ASSERT_EQ(test::RunProgram(exe + "/UnregServer"), 0);
    for (const std::string& key : gone) EXPECT_EQ(DefaultValueOf(key, kView32), "(none)") << key;
    ASSERT_EQ(test::RunProgram(exe + "/RegServer"), 0);
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
