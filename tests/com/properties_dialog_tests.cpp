// The properties dialog of the real server, opened from its tray command and
// driven from outside as a user drives it: Apply and Ok reach the running
// server's next line, the Status page follows a client's sessions, "Kill
// Norvale" stores and ends the server, and the dialog and the tray icon
// answer while a viewer that stopped answering holds a client's line.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>

#include "common/common_resources.h"
#include "config/config_resources.h"
#include "config/registry_values.h"
#include "shell/shell_resources.h"
#include "shell/tray_icon.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "tests_support/message_box.h"
#include "tests_support/process_windows.h"
#include "tests_support/test_viewer_client.h"
#include "tests_support/viewer_settings.h"

namespace norvale {
namespace {

using Lines = std::vector<std::string>;
using test::milliseconds;
using test::steady_clock;

// The window that `find` gives once there; none when it did not come within
// 20 s. A server just started may not have made its windows yet.
template <typename Find>
HWND WindowOnceThere(Find find) {
    HWND window = nullptr;
    test::WaitUntil([&] { return (window = find()) != nullptr; }, milliseconds(20000));
    return window;
}

// The dialog of the server that owns the main window, opened by the tray's
// Properties command; none when it did not come within 20 s.
HWND OpenProperties() {
    const HWND frame = WindowOnceThere([] { return FindWindowA("TMainForm", nullptr); });
    if (frame == nullptr) return nullptr;
    DWORD serverId = 0;
    GetWindowThreadProcessId(frame, &serverId);
    PostMessageA(frame, WM_COMMAND, ID_AC_PROPERTIES, 0);
    return WindowOnceThere([&] { return test::FindProcessWindow(serverId, "#32770", "Norvale Properties", true); });
}

HWND ControlOf(HWND dialog, int id) { return test::FindControl(dialog, id); }

void Click(HWND dialog, int id) { SendMessageA(ControlOf(dialog, id), BM_CLICK, 0, 0); }

// Whether the window's thread handled the message (bounded).
bool Answers(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0, DWORD_PTR* result = nullptr) {
    DWORD_PTR answer = 0;
    const bool answered = SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 20000, &answer) != 0;
    if (result != nullptr) *result = answer;
    return answered;
}

std::string Stored(const char* name) {
    return ReadRegString(RegCurrentUser(), SettingsLocation::kOutputSettingsKey, name, "(none)");
}

TEST(PropertiesDialogTest, ApplyAndOkReachTheRunningServerAndStatusFollowsSessions) {
    test::OutputSetup output({});
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    const HWND dialog = OpenProperties();
    ASSERT_NE(dialog, nullptr) << "no \"Norvale Properties\" within 20 s";
    // The test's settings as loaded: the file on, so its box is enabled.
    EXPECT_TRUE(IsWindowEnabled(ControlOf(dialog, IDC_DEBUGFILENAME)));
    EXPECT_FALSE(IsWindowEnabled(ControlOf(dialog, IDC_APPLY)));

    Click(dialog, IDC_INCLUDECODE);
    EXPECT_TRUE(IsWindowEnabled(ControlOf(dialog, IDC_APPLY)));
    Click(dialog, IDC_APPLY);
    EXPECT_FALSE(IsWindowEnabled(ControlOf(dialog, IDC_APPLY)));
    EXPECT_EQ(Stored("IncludeCode"), "1");
    EXPECT_EQ(Stored("ToConsole"), "0");

    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    EXPECT_TRUE(test::WaitUntil([&] { return test::WindowText(ControlOf(dialog, IDC_CONNECTIONS)) == "1"; },
                                milliseconds(20000)))
        << "the count did not follow the new session within 20 s";
    const HWND list = ControlOf(dialog, IDC_SESSIONS);
    ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 1);
    // Read as UTF-16: Wine hands another process's list texts over in that
    // form whatever the call.
    wchar_t name[256] = {};
    SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(name));
    EXPECT_STREQ(name, L"P///");
    // The server re-read the settings on Apply: its lines carry the code.
    EXPECT_EQ(session->AddMessage(0, 7, test::Bstr(L"coded")), S_OK);
    EXPECT_EQ(output.LinesEndingWith("00000007 coded").back(), "00000007 coded");

    EXPECT_EQ(session->CloseSession(), S_OK);
    EXPECT_TRUE(test::WaitUntil([&] { return test::WindowText(ControlOf(dialog, IDC_CONNECTIONS)) == "0"; },
                                milliseconds(20000)))
        << "the count did not follow the closed session within 20 s";
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 0);

    Click(dialog, IDC_INCLUDECODE);
    PostMessageA(ControlOf(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(test::WaitUntil([&] { return !IsWindowVisible(dialog); }, milliseconds(20000)))
        << "Ok did not close the dialog within 20 s";
    EXPECT_EQ(Stored("IncludeCode"), "0");
}

TEST(PropertiesDialogTest, BeforeAnyClientApplyStoresAndTheStatusPageIsEmpty) {
    test::OutputSetup output({});
    test::ServerProcess server;
    const HWND dialog = OpenProperties();
    ASSERT_NE(dialog, nullptr) << "no \"Norvale Properties\" within 20 s";
    EXPECT_EQ(test::WindowText(ControlOf(dialog, IDC_CONNECTIONS)), "0");
    EXPECT_EQ(SendMessageA(ControlOf(dialog, IDC_SESSIONS), LB_GETCOUNT, 0, 0), 0);
    Click(dialog, IDC_INCLUDETHREADID);
    Click(dialog, IDC_APPLY);
    EXPECT_EQ(Stored("IncludeThread"), "1");
    PostMessageA(ControlOf(dialog, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_TRUE(test::WaitUntil([&] { return !IsWindowVisible(dialog); }, milliseconds(20000)))
        << "Cancel did not close the dialog within 20 s";
}

TEST(PropertiesDialogTest, KillNorvaleWithASessionOpenStoresAndEndsTheServer) {
    test::OutputSetup output({});
    test::ServerProcess server;
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    const HWND dialog = OpenProperties();
    ASSERT_NE(dialog, nullptr) << "no \"Norvale Properties\" within 20 s";
    Click(dialog, IDC_TOCONSOLE);
    PostMessageA(ControlOf(dialog, IDC_KILLNORVALE), BM_CLICK, 0, 0);
    // The client still holds the server object: the user is asked first.
    const HWND box = test::WaitForMessageBox(server.Process().Id(), "COM Server Warning");
    ASSERT_NE(box, nullptr) << "no \"COM Server Warning\" within 20 s";
    test::AnswerMessageBox(box, IDYES);
    EXPECT_EQ(server.Process().WaitForExit(20000), 0);
    EXPECT_EQ(Stored("ToConsole"), "1");
}

TEST(PropertiesDialogTest, KillNorvaleWhileATracerSendsEndsTheServerAndNotTheTracersProgram) {
    test::OutputSetup output({});
    test::ServerProcess server;
    test::CheckATracerOutlivesItsServer(output, [&] {
        const HWND dialog = OpenProperties();
        ASSERT_NE(dialog, nullptr) << "no \"Norvale Properties\" within 20 s";
        PostMessageA(ControlOf(dialog, IDC_KILLNORVALE), BM_CLICK, 0, 0);
        const HWND box = test::WaitForMessageBox(server.Process().Id(), "COM Server Warning");
        ASSERT_NE(box, nullptr) << "no \"COM Server Warning\" within 20 s";
        test::AnswerMessageBox(box, IDYES);
        EXPECT_EQ(server.Process().WaitForExit(20000), 0);
    });
}

// The viewer stops answering inside the send of a client's line: the dispatch
// waits there, under the output lock, for the send's bound. An action counts
// only if it was answered before that client call returned; a main thread that
// waited on the lock would answer after it.
TEST(PropertiesDialogTest, TrayMenuStatusFlushAndApplyAnswerWhileAViewerSendIsHeld) {
    const std::string resumeName = test::UniqueTestName("shell resume");
    const UniqueHandle resume(CreateEventA(nullptr, TRUE, FALSE, resumeName.c_str()));
    ASSERT_TRUE(resume);
    const test::ViewerSettings viewerSettings;
    test::OutputSetup output({"ToCodeSite", "ToFile"});
    const test::ScratchDirectory dir;
    test::TestViewer viewer(dir, test::kMainViewer, resumeName);
    ASSERT_NE(viewer.Window(), nullptr) << "no test viewer window within 20 s";
    // However the test ends, the viewer goes on before it is closed.
    const std::unique_ptr<void, void (*)(void*)> resumeAtEnd(resume.get(), [](void* event) { SetEvent(event); });
    test::ServerProcess server;
    const DWORD serverId = server.Process().Id();
    const HWND frame = WindowOnceThere([&] { return test::FindProcessWindow(serverId, "TMainForm"); });
    const HWND tray = WindowOnceThere([&] { return test::FindProcessWindow(serverId, "NorvaleTrayIcon"); });
    ASSERT_TRUE(frame != nullptr && tray != nullptr) << "no main window and tray icon window within 20 s";
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);

    HWND dialog = nullptr;
    const std::pair<const char*, std::function<bool()>> actions[] = {
        {"tray menu",
         [&] {
             PostMessageA(tray, TTrayIcon::kCallbackMessage, 0, WM_RBUTTONUP);
             const HWND menu =
                 WindowOnceThere([&] { return test::FindProcessWindow(serverId, "#32768", std::nullopt, true); });
             // A tray menu takes no Escape under Wine; leaving menu mode closes it.
             return menu != nullptr && Answers(frame, WM_CANCELMODE) &&
                    test::WaitUntil([&] { return !IsWindowVisible(menu); }, milliseconds(20000));
         }},
        {"Status page",
         [&] {
             dialog = OpenProperties();
             DWORD_PTR sessions = 0;
             return dialog != nullptr && Answers(ControlOf(dialog, IDC_PAGES), TCM_SETCURFOCUS, 1) &&
                    IsWindowVisible(ControlOf(dialog, IDC_SESSIONS)) &&
                    Answers(ControlOf(dialog, IDC_SESSIONS), LB_GETCOUNT, 0, 0, &sessions) && sessions == 1;
         }},
        {"double click", [&] { return Answers(tray, TTrayIcon::kCallbackMessage, 0, WM_LBUTTONDBLCLK); }},
        {"Apply",
         [&] {
             return Answers(ControlOf(dialog, IDC_INCLUDECODE), BM_CLICK) &&
                    Answers(ControlOf(dialog, IDC_APPLY), BM_CLICK) && !IsWindowEnabled(ControlOf(dialog, IDC_APPLY));
         }},
    };
    // Each action in a hang of its own, so that one that waits does not hide
    // how the next one does.
    int stops = 0;
    for (const auto& [name, act] : actions) {
        std::future<HRESULT> held =
            std::async(std::launch::async, [&] { return session->AddMessage(0, 0, test::Bstr(L"stop answering")); });
        ++stops;
        ASSERT_TRUE(test::WaitUntil(
            [&] {
                const auto records = viewer.Log().records;
                return std::count_if(records.begin(), records.end(), [](const test::CopyData& record) {
                           return test::TextOf(record) == "stop answering";
                       }) == stops;
            },
            milliseconds(20000)))
            << "the viewer did not get the line before the " << name << " within 20 s";
        const auto start = steady_clock::now();
        const bool answered = act();
        const auto took = std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count();
        const bool stillHeld = held.wait_for(milliseconds(0)) == std::future_status::timeout;
        std::printf("%s answered in %lld ms%s\n", name, static_cast<long long>(took),
                    stillHeld ? " while the send was held" : "");
        EXPECT_TRUE(answered) << name;
        EXPECT_TRUE(stillHeld) << name << " was answered only after the viewer send gave up";
        ASSERT_TRUE(SetEvent(resume.get()));
        EXPECT_EQ(held.get(), S_OK);
        ResetEvent(resume.get());
    }

    // The refresh waited its turn behind the held line: the next lines carry
    // the applied code.
    EXPECT_TRUE(test::WaitUntil(
        [&] { return session->AddMessage(0, 7, test::Bstr(L"later")) == S_OK && output.LastLine() == "00000007 later"; },
        milliseconds(20000)))
        << "the applied settings did not reach the server within 20 s";
    EXPECT_EQ(session->CloseSession(), S_OK);
}

}  // namespace
}  // namespace norvale
