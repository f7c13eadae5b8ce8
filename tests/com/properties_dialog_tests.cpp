// The properties dialog of the real server, opened from its tray command and
// driven from outside as a user drives it: Apply and Ok reach the running
// server's next line, the Status page follows a client's sessions, and "Kill
// Norvale" stores and ends the server.

#include <gtest/gtest.h>

#include "common/common_resources.h"
#include "config/config_resources.h"
#include "config/registry_values.h"
#include "shell/shell_resources.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "tests_support/message_box.h"
#include "tests_support/process_windows.h"
#include "tests_support/test_viewer_client.h"

namespace norvale {
namespace {

using Lines = std::vector<std::string>;
using test::milliseconds;

// The dialog of the server that owns the main window, opened by the tray's
// Properties command; none when it did not come within 20 s.
HWND OpenProperties() {
    const HWND frame = FindWindowA("TMainForm", nullptr);
    if (frame == nullptr) return nullptr;
    DWORD serverId = 0;
    GetWindowThreadProcessId(frame, &serverId);
    PostMessageA(frame, WM_COMMAND, ID_AC_PROPERTIES, 0);
    HWND dialog = nullptr;
    test::WaitUntil(
        [&] {
            return (dialog = test::FindProcessWindow(serverId, "#32770", "Norvale Properties", true)) != nullptr;
        },
        milliseconds(20000));
    return dialog;
}

HWND ControlOf(HWND dialog, int id) { return test::FindControl(dialog, id); }

void Click(HWND dialog, int id) { SendMessageA(ControlOf(dialog, id), BM_CLICK, 0, 0); }

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

}  // namespace
}  // namespace norvale
