// The properties dialog in the test process, on settings of the test's own
// and hooks that record what it asks of the program: its controls as loaded,
// as the user changes them, and what Ok, Apply, Cancel, the keyboard, browse
// and "Kill Norvale" store and ask for.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "common/common_resources.h"
#include "common/window_win32.h"
#include "config/config_form_win32.h"
#include "config/config_resources.h"
#include "config/registry_values.h"
#include "tests_support/message_box.h"
#include "tests_support/message_pump.h"
#include "tests_support/process_windows.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

using Texts = std::vector<std::string>;

class ConfigFormTest : public testing::Test {
protected:
    void SetUp() override { Open(); }

    void Open() {
        TConfigFormHooks hooks;
        hooks.RefreshProperties = [this] { ++refreshes_, windowLinesAtRefresh_ = StoredOption("WindowLines"); };
        hooks.Status = [this] { return status_; };
        hooks.RequestTerminate = [this] { return ++terminateRequests_, false; };
        hooks.BrowseForFile = [this](HWND) { return browseAnswer_; };
        hooks.MonoUnavailable = monoUnavailable_;
        hooks.CaptureProblem = [this] { return captureProblem_; };
        hooks.ForwardProblem = [this] { return forwardProblem_; };
        hooks.ReceiveProblem = [this] { return receiveProblem_; };
        hooks.FileProblem = [this] { return fileProblem_; };
        form_ = std::make_unique<TNorvaleConfigForm>(nullptr, settings_.Location().root, settings_.Location().subkey,
                                                     std::move(hooks), options_);
    }
    HWND Control(int id) const { return test::FindControl(form_->Handle(), id); }
    bool Checked(int id) const { return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    // A click as the user's, served at once.
    void Click(int id) const { SendMessageA(Control(id), BM_CLICK, 0, 0); }
    std::string Stored(const char* name) const {
        return ReadRegString(settings_.Location().root, settings_.Location().subkey, name, "(none)");
    }
    std::string StoredOption(const char* name) const { return ReadRegString(options_.root, options_.subkey, name, ""); }
    // Shows the dialog modally with `press` already queued; gives how it ended.
    int ShowPressing(UINT message, WPARAM wParam, int id) {
        PostMessageA(Control(id), message, wParam, 0);
        return form_->ShowModal(nullptr);
    }

    test::ScratchSettings settings_;
    const OptionsLocation options_{settings_.Location().root, settings_.Location().subkey + "\\Options"};
    std::string windowLinesAtRefresh_;
    SessionStatus status_;
    std::wstring captureProblem_;
    std::string forwardProblem_;
    std::string receiveProblem_;
    std::string fileProblem_;
    std::optional<std::string> browseAnswer_;
    bool monoUnavailable_ = false;
    int refreshes_ = 0;
    int terminateRequests_ = 0;
    std::unique_ptr<TNorvaleConfigForm> form_;
};

constexpr int kFlagBoxes[] = {
    IDC_TOCLIENTS,       IDC_TOCONSOLE,       IDC_TOMONO,          IDC_TOCODESITE,       IDC_TOFILE,
    IDC_FLUSHOUTPUTFILE, IDC_INCLUDEDATETIME, IDC_INCLUDEPROJECT,  IDC_INCLUDEMODULE,    IDC_INCLUDECLASS,
    IDC_INCLUDEMACHINE,  IDC_INCLUDEPROCESSID, IDC_INCLUDETHREADID, IDC_INCLUDECODE,
};

TEST_F(ConfigFormTest, AFreshKeyShowsEveryBoxOffTheDefaultFileAndApplyDisabled) {
    EXPECT_EQ(test::WindowText(form_->Handle()), "Norvale Properties");
    for (int box : kFlagBoxes) EXPECT_FALSE(Checked(box)) << box;
    EXPECT_EQ(test::WindowText(Control(IDC_DEBUGFILENAME)), "c:\\Debug.txt");
    const struct {
        int id;
        const char* caption;
        bool enabled;
    } controls[] = {
        {IDC_TOCLIENTS, "&Custom Norvale clients", false}, {IDC_TOMONO, "&Monochrome screen at $b0000", true},
        {IDC_DEBUGFILENAME, "c:\\Debug.txt", false},        {IDC_BROWSE, "&Browse...", false},
        {IDC_CONFIGURE, "Con&figure", false},               {IDC_APPLY, "&Apply", false},
        {IDOK, "&Ok", true},                                {IDCANCEL, "&Cancel", true},
        {IDC_CONNECTIONS, "0", true},                       {IDC_CLOSEALLSESSIONS, "Close all sessions", false},
        {IDC_KILLNORVALE, "Kill Norvale", true},            {IDC_TRACEWINDOWGROUP, "Trace window", true},
        {IDC_TOWINDOW, "Show entries in the &Trace window", true}, {IDC_WINDOWLINES, "100000", true},
        {IDC_WINDOWLINESLABEL, "Rows &kept in the trace window:", true}, {IDC_CAPTUREGROUP, "Debug output", true},
        {IDC_CAPTUREDEBUGOUTPUT, "&Capture every program's debug output", true},
        {IDC_CAPTUREGLOBAL, "Also capture &global debug output (services, other sessions)", false},
        {IDC_CAPTURESTATE, "", true}, {IDC_UNICODEGROUP, "Unicode text", true},
        {IDC_FILEENCODINGLABEL, "&File and console text:", true},
        {IDC_FILEENCODING, "ANSI (system code page)", true},
        {IDC_UNICODENAMES, "Real &names and strings in process windows", true},
        {IDC_FORWARDGROUP, "Syslog", true}, {IDC_TOSYSLOG, "&Forward every entry to a syslog server", true},
        {IDC_SYSLOGSERVERLABEL, "&Syslog server:", true}, {IDC_SYSLOGSERVER, "udp://127.0.0.1:514", false},
        {IDC_SYSLOGFORMS,
         "udp://host:port or tcp://host:port; an IPv6 address in brackets; the port is 514 when left out.", true},
        {IDC_FORWARDSTATE, "", true}, {IDC_RECEIVEGROUP, "Syslog from other machines", true},
        {IDC_LISTENSYSLOG, "&Receive syslog messages from other machines", true},
        {IDC_LISTENADDRESSLABEL, "&Listen on:", true}, {IDC_LISTENADDRESS, "", false},
        {IDC_LISTENFORMS,
         "udp://address:port, tcp://address:port, or both separated by \";\". The address is this machine's: 0.0.0.0 "
         "for every network.",
         true},
        {IDC_LISTENALLOWLABEL, "Accept &from:", true}, {IDC_LISTENALLOW, "", false},
        {IDC_LISTENALLOWFORMS, "Addresses or networks (10.0.0.0/8, fd00::/8) separated by \";\". Empty: every sender.",
         true},
        {IDC_RECEIVESTATE, "", true},
    };
    for (const auto& control : controls) {
        EXPECT_EQ(test::WindowText(Control(control.id)), control.caption);
        EXPECT_EQ(Enabled(control.id), control.enabled) << control.caption;
    }
    RECT client{};
    GetClientRect(form_->Handle(), &client);
    EXPECT_EQ(client.right, Scaled(352));
    EXPECT_EQ(client.bottom, Scaled(283));
}

TEST_F(ConfigFormTest, FileEnablesItsBoxAndBrowseAndEveryChangeEnablesApply) {
    Click(IDC_TOFILE);
    EXPECT_TRUE(Enabled(IDC_DEBUGFILENAME));
    EXPECT_TRUE(Enabled(IDC_BROWSE));
    EXPECT_TRUE(Enabled(IDC_APPLY));
    Click(IDC_APPLY);
    Click(IDC_TOFILE);
    EXPECT_FALSE(Enabled(IDC_DEBUGFILENAME));
    EXPECT_FALSE(Enabled(IDC_BROWSE));
    EXPECT_TRUE(Enabled(IDC_APPLY));
    // The flush box is not tied to the file.
    EXPECT_TRUE(Enabled(IDC_FLUSHOUTPUTFILE));

    for (int box : {IDC_TOCONSOLE, IDC_INCLUDECODE, IDC_TOWINDOW}) {
        Click(IDC_APPLY);
        Click(box);
        EXPECT_TRUE(Enabled(IDC_APPLY)) << box;
    }
    Click(IDC_APPLY);
    SetWindowTextA(Control(IDC_DEBUGFILENAME), "x");
    EXPECT_TRUE(Enabled(IDC_APPLY));
}

TEST_F(ConfigFormTest, ApplyStoresAndRefreshesOkAlsoClosesCancelStoresNothing) {
    Click(IDC_TOFILE);
    Click(IDC_INCLUDEPROCESSID);
    SetWindowTextA(Control(IDC_DEBUGFILENAME), " d:\\trace.txt ");
    Click(IDC_APPLY);
    EXPECT_FALSE(Enabled(IDC_APPLY));
    EXPECT_EQ(refreshes_, 1);
    EXPECT_EQ(Stored("ToFile"), "1");
    EXPECT_EQ(Stored("IncludeProcess"), "1");
    EXPECT_EQ(Stored("ToConsole"), "0");
    EXPECT_EQ(Stored("Filename"), " d:\\trace.txt ");

    Click(IDC_TOCONSOLE);
    EXPECT_EQ(ShowPressing(BM_CLICK, 0, IDOK), IDOK);
    EXPECT_EQ(refreshes_, 2);
    EXPECT_EQ(Stored("ToConsole"), "1");
    // Ok leaves Apply as it was.
    EXPECT_TRUE(Enabled(IDC_APPLY));

    Click(IDC_INCLUDECODE);
    EXPECT_EQ(ShowPressing(BM_CLICK, 0, IDCANCEL), IDCANCEL);
    EXPECT_EQ(refreshes_, 2);
    EXPECT_EQ(Stored("IncludeCode"), "0");
    // The next opening still shows the unsaved choice.
    EXPECT_TRUE(Checked(IDC_INCLUDECODE));
}

TEST_F(ConfigFormTest, EnterIsOkAndEscapeIsCancel) {
    Click(IDC_TOCONSOLE);
    EXPECT_EQ(ShowPressing(WM_KEYDOWN, VK_ESCAPE, IDC_TOCONSOLE), IDCANCEL);
    EXPECT_EQ(Stored("ToConsole"), "(none)");
    EXPECT_EQ(ShowPressing(WM_KEYDOWN, VK_RETURN, IDC_TOCONSOLE), IDOK);
    EXPECT_EQ(Stored("ToConsole"), "1");
}

TEST_F(ConfigFormTest, CtrlTabAndCtrlPageKeysTurnThePagesRound) {
    // Keys pressed with the same modifiers in one showing, from the page the
    // one before left; six pages.
    const struct {
        bool control, shift;
        std::vector<WPARAM> keys;
        int page;
    } showings[] = {{true, false, {VK_TAB, VK_NEXT, VK_TAB, VK_TAB, VK_TAB}, 5},
                    {true, true, {VK_TAB}, 4},
                    {true, false, {VK_PRIOR, VK_PRIOR}, 2},
                    {false, false, {VK_TAB, VK_NEXT}, 2}};
    BYTE keys[256] = {};
    for (const auto& showing : showings) {
        ASSERT_TRUE(GetKeyboardState(keys));
        keys[VK_CONTROL] = showing.control ? 0x80 : 0;
        keys[VK_SHIFT] = showing.shift ? 0x80 : 0;
        ASSERT_TRUE(SetKeyboardState(keys));
        for (WPARAM key : showing.keys) PostMessageA(Control(IDC_TOCONSOLE), WM_KEYDOWN, key, 0);
        PostMessageA(form_->Handle(), WM_CLOSE, 0, 0);
        EXPECT_EQ(form_->ShowModal(nullptr), IDCANCEL);
        EXPECT_EQ(SendMessageA(Control(IDC_PAGES), TCM_GETCURSEL, 0, 0), showing.page)
            << showing.control << showing.shift << showing.keys.size();
    }
    keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    EXPECT_NE(GetWindowLongPtrA(GetParent(Control(IDC_CAPTUREDEBUGOUTPUT)), GWL_STYLE) & WS_VISIBLE, 0) << "Options";
    EXPECT_EQ(GetWindowLongPtrA(GetParent(Control(IDC_TOCONSOLE)), GWL_STYLE) & WS_VISIBLE, 0) << "General";
}

TEST_F(ConfigFormTest, EveryControlOfEveryPageLiesWithinThePage) {
    int pages = 0;
    for (HWND page = FindWindowExA(form_->Handle(), nullptr, "#32770", nullptr); page != nullptr;
         page = FindWindowExA(form_->Handle(), page, "#32770", nullptr), ++pages) {
        RECT area{}, control{}, joined{};
        GetWindowRect(page, &area);
        for (HWND child = GetWindow(page, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            GetWindowRect(child, &control);
            UnionRect(&joined, &area, &control);
            EXPECT_TRUE(EqualRect(&joined, &area)) << "page " << pages << ", control " << GetDlgCtrlID(child);
        }
    }
    EXPECT_EQ(pages, 6);
}

TEST_F(ConfigFormTest, AnUnavailableScreenIsShownSoAndItsValueWrittenBackUnchanged) {
    settings_.Set("ToMono", "1");
    monoUnavailable_ = true;
    Open();
    EXPECT_EQ(test::WindowText(Control(IDC_TOMONO)), "Monochrome screen support is not installed");
    EXPECT_FALSE(Enabled(IDC_TOMONO));
    EXPECT_TRUE(Checked(IDC_TOMONO));
    Click(IDC_TOCONSOLE);
    Click(IDC_APPLY);
    EXPECT_EQ(Stored("ToMono"), "1");
}

TEST_F(ConfigFormTest, BrowseTakesTheChosenFileAndCancellingItChangesNothing) {
    Click(IDC_TOFILE);
    Click(IDC_APPLY);
    Click(IDC_BROWSE);
    EXPECT_EQ(test::WindowText(Control(IDC_DEBUGFILENAME)), "c:\\Debug.txt");
    EXPECT_FALSE(Enabled(IDC_APPLY));
    browseAnswer_ = "d:\\chosen.txt";
    Click(IDC_BROWSE);
    EXPECT_EQ(test::WindowText(Control(IDC_DEBUGFILENAME)), "d:\\chosen.txt");
    EXPECT_TRUE(Enabled(IDC_APPLY));
}

TEST_F(ConfigFormTest, KillNorvaleStoresThenAsksToEnd) {
    Click(IDC_TOCODESITE);
    Click(IDC_KILLNORVALE);
    EXPECT_EQ(Stored("ToCodeSite"), "1");
    EXPECT_EQ(refreshes_, 1);
    EXPECT_EQ(terminateRequests_, 1);
}

TEST_F(ConfigFormTest, PagesInOrderOptionsForwardingAndOutputFileLoadTheirKeyAndApplyStoresItAsTypedBeforeTheRefresh) {
    for (const auto& [index, expected] : {std::pair{0, "General"}, std::pair{1, "Status"}, std::pair{2, "Options"},
                                          std::pair{3, "Forwarding"}, std::pair{4, "Receiving"},
                                          std::pair{5, "Output file"}}) {
        char title[16] = {};
        TCITEMA tab{TCIF_TEXT, 0, 0, title, sizeof title, 0, 0};
        SendMessageA(Control(IDC_PAGES), TCM_GETITEMA, index, reinterpret_cast<LPARAM>(&tab));
        EXPECT_STREQ(title, expected);
    }
    WriteRegString(options_.root, options_.subkey, "WindowLines", "50");
    WriteRegString(options_.root, options_.subkey, "FileEncoding", "utf-8");
    WriteRegString(options_.root, options_.subkey, "ToSyslog", "1");
    WriteRegString(options_.root, options_.subkey, "FileMaxMB", " 5 ");
    WriteRegString(options_.root, options_.subkey, "FileDaily", "1");
    WriteRegString(options_.root, options_.subkey, "ListenAllow", "10.0.0.0/8");
    Open();
    EXPECT_EQ(test::WindowText(Control(IDC_LISTENALLOW)), "10.0.0.0/8");
    Click(IDC_LISTENSYSLOG);
    EXPECT_TRUE(Enabled(IDC_LISTENADDRESS));
    EXPECT_TRUE(Enabled(IDC_LISTENALLOW));
    SetWindowTextA(Control(IDC_LISTENADDRESS), "udp://0.0.0.0:5514");
    SetWindowTextA(Control(IDC_LISTENALLOW), " 192.0.2.7; fd00::/8 ");
    EXPECT_EQ(test::WindowText(Control(IDC_FILEMAXMB)), "5");
    EXPECT_EQ(test::WindowText(Control(IDC_FILEKEEP)), "10");
    Click(IDC_FILEDAILY);
    SetWindowTextA(Control(IDC_FILEMAXMB), "");
    SetWindowTextA(Control(IDC_FILEKEEP), "0");
    EXPECT_EQ(test::WindowText(Control(IDC_WINDOWLINES)), "1000");
    EXPECT_EQ(test::WindowText(Control(IDC_FILEENCODING)), "UTF-8");
    EXPECT_TRUE(Enabled(IDC_SYSLOGSERVER));
    SetWindowTextA(Control(IDC_WINDOWLINES), "50");
    EXPECT_TRUE(Enabled(IDC_APPLY));
    Click(IDC_TOWINDOW);
    Click(IDC_CAPTUREDEBUGOUTPUT);
    EXPECT_TRUE(Enabled(IDC_CAPTUREGLOBAL));
    Click(IDC_UNICODENAMES);
    const HWND encoding = Control(IDC_FILEENCODING);
    SendMessageA(encoding, CB_SETCURSEL, 0, 0);
    SendMessageA(GetParent(encoding), WM_COMMAND, MAKEWPARAM(IDC_FILEENCODING, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(encoding));
    Click(IDC_TOSYSLOG);
    EXPECT_FALSE(Enabled(IDC_SYSLOGSERVER));
    SetWindowTextA(Control(IDC_SYSLOGSERVER), "tcp://[::1]:6514");
    Click(IDC_APPLY);
    EXPECT_EQ(windowLinesAtRefresh_, "50");
    EXPECT_EQ(StoredOption("ToWindow"), "0");
    EXPECT_EQ(StoredOption("CaptureDebugOutput"), "1");
    EXPECT_EQ(StoredOption("CaptureGlobal"), "0");
    EXPECT_EQ(StoredOption("UnicodeNames"), "1");
    EXPECT_EQ(StoredOption("FileEncoding"), "ANSI");
    EXPECT_EQ(StoredOption("ToSyslog"), "0");
    EXPECT_EQ(StoredOption("SyslogServer"), "tcp://[::1]:6514");
    EXPECT_EQ(StoredOption("ListenSyslog"), "1");
    EXPECT_EQ(StoredOption("ListenAddress"), "udp://0.0.0.0:5514");
    EXPECT_EQ(StoredOption("ListenAllow"), " 192.0.2.7; fd00::/8 ");
    EXPECT_EQ(StoredOption("FileDaily"), "0");
    EXPECT_EQ(StoredOption("FileMaxMB"), "");
    EXPECT_EQ(StoredOption("FileKeep"), "0");
}

TEST(ConfigFormFailureTest, AFailingRegistryWriteIsShownWithItsTextAndNothingIsRefreshed) {
    // A key name longer than the registry allows: its creation fails.
    const std::string subkey = "Software\\NorvaleTests\\" + std::string(300, 'k');
    HKEY created = nullptr;
    const LONG code = RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &created,
                                      nullptr);
    ASSERT_NE(code, ERROR_SUCCESS) << "the platform took a 300-character key name";
    int refreshes = 0;
    TConfigFormHooks hooks;
    hooks.RefreshProperties = [&] { ++refreshes; };
    TNorvaleConfigForm form(nullptr, HKEY_CURRENT_USER, subkey, std::move(hooks));
    // The failure goes to the window thread's handler, which shows it in a
    // box; another thread reads and answers it.
    SetEnvironmentVariableA("NORVALE_NO_DIALOGS", nullptr);
    auto shown = std::async(std::launch::async, [] {
        const HWND box = test::WaitForMessageBox(GetCurrentProcessId(), "Norvale");
        if (box == nullptr) return std::string("(no box within 20 s)");
        const std::string text = test::DescribeMessageBox(box);
        test::AnswerMessageBox(box, IDOK);
        return text;
    });
    const HWND apply = GetDlgItem(form.Handle(), IDC_APPLY);
    EnableWindow(apply, TRUE);
    SendMessageA(apply, BM_CLICK, 0, 0);
    SetEnvironmentVariableA("NORVALE_NO_DIALOGS", "1");
    EXPECT_EQ(shown.get(), "could not create key " + subkey + " (Error " + std::to_string(code) + ").|OK(default)");
    EXPECT_EQ(refreshes, 0);
}

TEST_F(ConfigFormTest, StatusRequestsFromOtherThreadsShowTheCountAndNamesOnTheDialogsThread) {
    status_ = SessionStatus{65538, {"P///", "P/M/C/"}};
    captureProblem_ = L"Debug output is being captured by another program";
    forwardProblem_ = "Forwarding is off: the syslog server \"x\" does not begin with \"udp://\" or \"tcp://\".";
    receiveProblem_ = "Receiving is off: the allowed sender \"x\" is no IPv4 or IPv6 address (192.0.2.7, 10.0.0.0/8, "
                      "2001:db8::/32).";
    fileProblem_ = "The output file \"t.txt\" is written on, not rotated: cannot rename \"t.txt\": held. (32)";
    std::thread other([this] {
        for (int i = 0; i < 1000; ++i) form_->RequestRefreshStatus();
    });
    other.join();
    EXPECT_TRUE(test::ServeMessagesUntil([&] { return test::WindowText(Control(IDC_CONNECTIONS)) == "2"; }))
        << "not refreshed within 20 s";
    Texts names;
    const HWND list = Control(IDC_SESSIONS);
    for (LRESULT i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); ++i) {
        char name[256] = {};
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
        names.push_back(name);
    }
    EXPECT_EQ(names, (Texts{"P///", "P/M/C/"}));
    EXPECT_EQ(test::WindowText(Control(IDC_CAPTURESTATE)), "Debug output is being captured by another program");
    EXPECT_EQ(test::WindowText(Control(IDC_FORWARDSTATE)), forwardProblem_);
    EXPECT_EQ(test::WindowText(Control(IDC_RECEIVESTATE)), receiveProblem_);
    EXPECT_EQ(test::WindowText(Control(IDC_FILESTATE)), fileProblem_);
}

}  // namespace
}  // namespace norvale
