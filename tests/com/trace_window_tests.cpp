// The trace window of a server started by hand, with its clients in other
// processes, read from this process as any other program would read it:
// every cell in UTF-16, the status bar, the filter boxes typed into.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <regex>
#include <thread>

#include "config/options_settings.h"
#include "config/registry_api.h"
#include "config/registry_values.h"
#include "shell/trace_form.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "tests_support/remote_block.h"
#include "tests_support/trace_window_reader.h"

namespace norvale {
namespace {

using Rows = std::vector<std::vector<std::wstring>>;
using Texts = std::vector<std::wstring>;

constexpr const char* kOptionsKey = OptionsLocation::kOptionsSettingsKey;

class TraceWindowTest : public testing::Test {
protected:
    // Every output off: the window is on unless the options say otherwise.
    explicit TraceWindowTest(const std::string& windowLines = {}) : output_({}) {
        RegApiDeleteTree(RegCurrentUser(), kOptionsKey);
        if (!windowLines.empty()) WriteRegString(RegCurrentUser(), kOptionsKey, "WindowLines", windowLines);
        server_ = std::make_unique<test::ServerProcess>();
    }
    ~TraceWindowTest() override {
        server_.reset();
        RegApiDeleteTree(RegCurrentUser(), kOptionsKey);
    }

    HWND Window() { return test::FindTraceWindow(server_->Process().Id()); }

    // Reads the window until `done` holds for what it shows (bounded).
    template <typename Condition>
    test::ShownTraceWindow ReadUntil(Condition done, const char* what) {
        test::ShownTraceWindow shown;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < end) {
            shown = test::ReadTraceWindow(Window());
            // Rows may have come while the window was read: read it again,
            // whole, now that it has settled.
            if (done(shown)) return test::ReadTraceWindow(Window());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << "the trace window did not show " << what << " within 30 s";
        return shown;
    }
    test::ShownTraceWindow ReadMessagesEndingWith(const std::wstring& last) {
        return ReadUntil([&](const auto& shown) { return !shown.rows.empty() && shown.rows.back().back() == last; },
                         "its last row");
    }

    test::OutputSetup output_;
    std::unique_ptr<test::ServerProcess> server_;
};

// The rows with each time of day as "t".
Rows WithoutTimes(Rows rows) {
    for (auto& row : rows) {
        if (std::regex_match(row[0], std::wregex(L"\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d"))) row[0] = L"t";
    }
    return rows;
}

TEST_F(TraceWindowTest, EveryCallOfAScriptClientIsARowWithItsFields) {
    // "t": a time of day.
    const std::wstring t = L"t", w = L"W", p = L"000004d2", h = L"000001a4", z = L"00000000";
    const Rows expected = {
        {t, L"", L"", L"", L"", L"", L"", L"", L"Norvale Starting Up"},
        {t, L"", L"", L"P", L"", L"", L"", z, L"Session opened."},
        {t, L"", L"", L"P", L"M", L"TC", L"", z, L"Session opened."},
        {t, w, p, L"P", L"M", L"TC", L"", z, L"Session opened."},
        {t, w, p, L"P", L"M", L"TC", h, L"0000000a", L"plain"},
        {t, w, p, L"P", L"M", L"TX", h, L"00000002", L"classy"},
        {t, w, p, L"P", L"M", L"TC", h, z, L"-> Run"},
        {t, w, p, L"P", L"M", L"TC", h, z, L"<- Run"},
        {t, w, p, L"P", L"M", L"TC", h, L"00000003", L"text"},
        {L"", L"", L"", L"", L"", L"", L"", L"", L"a"},
        {L"", L"", L"", L"", L"", L"", L"", L"", L"b"},
        {t, w, p, L"P", L"M", L"TC", h, L"00000004", L"bytes"},
        {L"", L"", L"", L"", L"", L"", L"", L"", L"41 00 7a " + std::wstring(39, L' ') + L"A.z"},
        {t, L"", L"", L"P", L"", L"", L"", z, L"from project only"},
        {t, L"", L"", L"P", L"", L"", L"", z, L"Session closed."},
        {t, L"", L"", L"P", L"M", L"TC", L"", z, L"Session closed."},
        {t, w, p, L"P", L"M", L"TC", L"", z, L"Session closed."},
        {t, L"", L"", L"", L"", L"", L"", L"", L"Norvale Shutting Down"},
    };
    for (const char* script : {"all_calls.vbs", "all_calls.js"}) {
        ASSERT_EQ(test::RunScript(script), 0) << script;
        const auto shown = ReadUntil([&](const auto& s) { return s.rows.size() >= expected.size(); }, "the rows");
        EXPECT_EQ(WithoutTimes(shown.rows), expected) << script;
        EXPECT_EQ(shown.status, (std::vector<std::wstring>{L"Kept: 18", L"Shown: 18", L"Dropped: 0", L"", L"", L"", L"", L"", L""})) << script;
        SendMessageW(Window(), WM_COMMAND, TTraceForm::btn_Clear, 0);
    }
    wchar_t caption[16] = {};
    GetWindowTextW(Window(), caption, 16);
    EXPECT_STREQ(caption, L"Trace");
}

TEST_F(TraceWindowTest, TextOutsideTheCodePageReadsBackExactly) {
    ASSERT_EQ(test::RunScript("unicode.js"), 0);
    const auto shown = ReadMessagesEndingWith(L"Norvale Shutting Down");
    ASSERT_EQ(shown.rows.size(), 5u);
    EXPECT_EQ(shown.rows[2][3], L"\u00dcbung");
    EXPECT_EQ(shown.rows[2][4], L"\u041c\u043e\u0434");
    EXPECT_EQ(shown.rows[2][5], L"T\u4e2d");
    EXPECT_EQ(shown.rows[2][8], L"Gr\u00fc\u00dfe \u2013 \u4e2d\u6587 \u2713 \U0001F600");
}

TEST_F(TraceWindowTest, FilterBoxesShowHideAndKeepABlockWhole) {
    ASSERT_EQ(test::RunScript("all_calls.js"), 0);
    ReadMessagesEndingWith(L"Norvale Shutting Down");
    struct Case {
        std::wstring show, hide;
        Texts messages;
    };
    const std::wstring hexRow = L"41 00 7a " + std::wstring(39, L' ') + L"A.z";
    const Case cases[] = {
        // A term in a block's further row shows the whole block.
        {L" CLASSY ; a.Z", L"", {L"classy", L"bytes", hexRow}},
        {L"", L"session;norvale;TC", {L"classy", L"from project only"}},
    };
    for (const Case& c : cases) {
        test::TypeFilter(Window(), 0, c.show);
        test::TypeFilter(Window(), 1, c.hide);
        const auto shown = ReadUntil([&](const auto& s) { return test::Messages(s) == c.messages; }, "the filtered rows");
        EXPECT_EQ(test::Messages(shown), c.messages) << c.hide;
    }
}

// Ctrl+C, pressed while another program holds the clipboard, is shown (on
// standard error here) and the server serves on.
TEST_F(TraceWindowTest, AFailedCopyIsShownAndTheServerServesOn) {
    ASSERT_EQ(test::RunScript("one_session.vbs"), 0);
    ReadMessagesEndingWith(L"Norvale Shutting Down");
    const HWND list = FindWindowExW(Window(), nullptr, WC_LISTVIEWW, nullptr);
    const test::RemoteBlock item(list, sizeof(LVITEMW));
    LVITEMW selected{};
    selected.stateMask = selected.state = LVIS_SELECTED;
    item.Write(0, &selected, sizeof selected);
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(item.At(0)));
    ASSERT_TRUE(OpenClipboard(nullptr));
    INPUT control{};
    control.type = INPUT_KEYBOARD;
    control.ki.wVk = VK_CONTROL;
    SendInput(1, &control, sizeof control);
    PostMessageW(list, WM_KEYDOWN, 'C', 0);
    // Its rows show once the main thread has gone past the key. Wine gives
    // the server's thread the key state this process's input set.
    EXPECT_EQ(test::RunScript("one_session.vbs"), 0);
    ReadUntil([](const auto& shown) { return shown.rows.size() == 10; }, "the second run's rows");
    control.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, &control, sizeof control);
    CloseClipboard();
    server_->ExpectOutput("Norvale: the clipboard is in use by another program\r\n");
}

class BoundedTraceWindowTest : public TraceWindowTest {
protected:
    BoundedTraceWindowTest() : TraceWindowTest("1000") {}
};

TEST_F(BoundedTraceWindowTest, OldestRowsGoWhenTheBoundIsReachedAndAreCounted) {
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        ComPtr<IDebugSession> session;
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
        for (int i = 0; i < 1100; ++i) {
            ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"m" + std::to_wstring(i))), S_OK);
        }
    }
    // Started, opened, 1,100 messages, ended: 1,103 rows, 1,000 kept.
    const auto shown = ReadMessagesEndingWith(L"Norvale Shutting Down");
    ASSERT_EQ(shown.rows.size(), 1000u);
    EXPECT_EQ(shown.rows.front().back(), L"m101");
    EXPECT_EQ(shown.status, (std::vector<std::wstring>{L"Kept: 1000", L"Shown: 1000", L"Dropped: 103", L"", L"", L"", L"", L"", L""}));
}

}  // namespace
}  // namespace norvale
