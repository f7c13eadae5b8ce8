// The trace window of a server started by hand, with its clients in other
// processes, read from this process as any other program would read it:
// every cell in UTF-16, the status bar, the filter boxes typed into.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "config/options_settings.h"
#include "config/registry_api.h"
#include "config/registry_values.h"
#include "shell/trace_form.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "common/utf8_text.h"
#include "shell/shell_resources.h"
#include "tests_support/process_windows.h"
#include "tests_support/remote_block.h"
#include "tests_support/scratch.h"
#include "tests_support/trace_window_reader.h"
#include "tests_support/unix_program.h"
#include "tests_support/wait_until.h"

namespace norvale {
namespace {

using Rows = std::vector<std::vector<std::wstring>>;
using Texts = std::vector<std::wstring>;

constexpr const char* kOptionsKey = OptionsLocation::kOptionsSettingsKey;
// The frame's placement as an earlier server left it.
constexpr const char* kPlacementKey = "Software\\brantwick\\Norvale\\DebugWindow";

// The status bar's last part: the window's note, then the process's problems.
std::wstring Note(const std::vector<std::wstring>& status) { return status.empty() ? std::wstring() : status.back(); }

class TraceWindowTest : public testing::Test {
protected:
    // Every output off: the window is on unless the options say otherwise.
    explicit TraceWindowTest(const std::string& windowLines = {}) : output_({}) {
        RegApiDeleteTree(RegCurrentUser(), kOptionsKey);
        RegApiDeleteTree(RegCurrentUser(), kPlacementKey);
        if (!windowLines.empty()) WriteRegString(RegCurrentUser(), kOptionsKey, "WindowLines", windowLines);
        server_ = std::make_unique<test::ServerProcess>();
    }
    ~TraceWindowTest() override {
        server_.reset();
        RegApiDeleteTree(RegCurrentUser(), kOptionsKey);
    }

    HWND Window() { return test::FindTraceWindow(server_->Process().Id()); }

    HWND List() { return FindWindowExW(Window(), nullptr, WC_LISTVIEWW, nullptr); }
    LRESULT Selected() { return SendMessageW(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED); }
    void Command(int command) { SendMessageW(Window(), WM_COMMAND, static_cast<WPARAM>(command), 0); }

    // Reads the window (the first view unless given) until `done` holds for
    // what it shows (bounded).
    template <typename Condition>
    test::ShownTraceWindow ReadUntil(Condition done, const char* what, HWND window = nullptr) {
        test::ShownTraceWindow shown;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < end) {
            shown = test::ReadTraceWindow(window != nullptr ? window : Window());
            // Rows may have come while the window was read: read it again,
            // whole, now that it has settled.
            if (done(shown)) return test::ReadTraceWindow(window != nullptr ? window : Window());
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

// The desktop's scale for the programs started while it lives (96 dots an
// inch is 100 %), as the display settings set it.
class TDesktopScale {
public:
    explicit TDesktopScale(DWORD dotsPerInch) {
        DWORD size = sizeof before_;
        had_ = RegGetValueW(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_REG_DWORD, nullptr, &before_, &size) ==
               ERROR_SUCCESS;
        RegSetKeyValueW(HKEY_CURRENT_USER, kKey, kValue, REG_DWORD, &dotsPerInch, sizeof dotsPerInch);
    }
    ~TDesktopScale() {
        if (had_) {
            RegSetKeyValueW(HKEY_CURRENT_USER, kKey, kValue, REG_DWORD, &before_, sizeof before_);
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, kValue);
        }
    }
    TDesktopScale(const TDesktopScale&) = delete;
    TDesktopScale& operator=(const TDesktopScale&) = delete;

private:
    static constexpr const wchar_t* kKey = L"Control Panel\\Desktop";
    static constexpr const wchar_t* kValue = L"LogPixels";
    DWORD before_ = 0;
    bool had_ = false;
};

// Set before the server starts, and put back after it has ended.
class FirstLookTest : private TDesktopScale, public TraceWindowTest, public testing::WithParamInterface<DWORD> {
protected:
    FirstLookTest() : TDesktopScale(GetParam()) {}
};

// All rows shown; the Message column fills what the others leave, and ends
// inside the list beside the vertical scroll bar that more rows bring, at
// 100 % and at 150 %.
TEST_P(FirstLookTest, AtFirstOpenTheFrameTakesMostOfTheScreenAndTheMessageColumnIsInView) {
    const HWND frame = GetAncestor(Window(), GA_ROOT);
    // The status bar's height follows the scale (20 pixels at 100 %).
    RECT bar{};
    GetWindowRect(FindWindowExW(Window(), nullptr, STATUSCLASSNAMEW, nullptr), &bar);
    ASSERT_GE((bar.bottom - bar.top) * 96, 19 * static_cast<LONG>(GetParam())) << "the server took the desktop's scale";
    SendMessageW(frame, WM_COMMAND, ID_AC_SHOWDEBUGWINDOW, 0);
    RECT area{}, place{}, list{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(frame, &place);
    EXPECT_GE((place.right - place.left) * 2, area.right - area.left);
    EXPECT_GE((place.bottom - place.top) * 2, area.bottom - area.top);
    EXPECT_TRUE(IsZoomed(Window())) << "the Trace document fills the frame";
    // The frame's showing lays the document out again afterwards, later on a
    // busy machine: the Message column follows the list's last width.
    const auto shown = [&] {
        int width = 0;
        for (int column = 0; column < 11; ++column) width += static_cast<int>(SendMessageW(List(), LVM_GETCOLUMNWIDTH, column, 0));
        return width;
    };
    EXPECT_TRUE(test::WaitUntil([&] { return GetClientRect(List(), &list) && shown() == list.right; },
                                std::chrono::milliseconds(20000)))
        << "the columns did not fill the list's " << list.right << " pixels within 20 s: " << shown();
    EXPECT_EQ(SendMessageW(List(), LVM_GETCOLUMNWIDTH, 9, 0), 0) << "\u0394 ms is off by default";

    // Rows enough for the vertical scroll bar.
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        ComPtr<IDebugSession> session;
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
        for (int i = 0; i < 60; ++i) ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"row")), S_OK);
    }
    const test::RemoteBlock cell(List(), sizeof(RECT));
    RECT message{};
    const auto fits = [&] {
        // The call reads its column and flags from the rectangle it fills.
        message = RECT{LVIR_BOUNDS, 8, 0, 0};
        cell.Write(0, &message, sizeof message);
        SendMessageW(List(), LVM_GETSUBITEMRECT, 0, reinterpret_cast<LPARAM>(cell.At(0)));
        cell.Read(0, &message, sizeof message);
        const LONG bars = GetWindowLongW(List(), GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL);
        return bars == WS_VSCROLL && GetClientRect(List(), &list) && message.right == list.right;
    };
    EXPECT_TRUE(test::WaitUntil(fits, std::chrono::milliseconds(20000)))
        << "the Message column did not end at the list's " << list.right << " pixels beside the vertical scroll bar "
        << "alone within 20 s: it ends at " << message.right;
}

INSTANTIATE_TEST_SUITE_P(Scales, FirstLookTest, testing::Values(DWORD{96}, DWORD{144}));

TEST_F(TraceWindowTest, FilterBoxesTakeColumnTermsAndPatternsAndSayWhyATermDoesNotParse) {
    ASSERT_EQ(test::RunScript("all_calls.js"), 0);
    ReadMessagesEndingWith(L"Norvale Shutting Down");
    const struct {
        std::wstring show;
        Texts messages;
        std::wstring note;
    } cases[] = {
        {L"CLASS:tx", {L"classy"}, L""},
        {L"code:/^0000000[34]$/ ; message:/<-/", {L"<- Run", L"text", L"a", L"b", L"bytes", L"41 00 7a " + std::wstring(39, L' ') + L"A.z"}, L""},
        {L"/^(Sess|Norv/;x", {}, L"Show: \"/^(Sess|Norv/\": \"(\" without \")\""},
    };
    for (const auto& c : cases) {
        test::TypeFilter(Window(), 0, c.show);
        const auto shown = ReadUntil(
            [&](const auto& s) { return Note(s.status) == c.note && (c.messages.empty() ? s.rows.size() == 18 : test::Messages(s) == c.messages); },
            "the filtered rows");
        EXPECT_EQ(Note(shown.status), c.note) << WideToUtf8(c.show);
    }
}

TEST_F(TraceWindowTest, FindSelectsTheNextAndPreviousMatchingRowAndSaysWhenItWentPastTheEnd) {
    ASSERT_EQ(test::RunScript("all_calls.js"), 0);
    ReadMessagesEndingWith(L"Norvale Shutting Down");
    test::TypeFilter(Window(), 3, L"message:/^(classy|bytes)$/");
    const std::wstring pastEnd = L"Went past the last row and on from the first";
    const std::pair<int, LRESULT> steps[] = {{TTraceForm::ac_FindNext, 5}, {TTraceForm::ac_FindNext, 11},
                                             {TTraceForm::ac_FindNext, 5}, {TTraceForm::ac_FindPrevious, 11}};
    for (const auto& [command, row] : steps) {
        Command(command);
        EXPECT_EQ(Selected(), row);
    }
    EXPECT_EQ(Note(test::ReadTraceStatus(Window())), L"Went past the first row and on from the last");
    test::TypeFilter(Window(), 3, L"nothing like it");
    Command(TTraceForm::ac_FindNext);
    EXPECT_EQ(Note(test::ReadTraceStatus(Window())), L"Find: no shown row matches");
    EXPECT_EQ(Selected(), 11);
}

// Δ in subitem 9, the marks in 10: the nine columns keep their numbers.
TEST_F(TraceWindowTest, TimeBetweenRowsAndMarksThatStayWithTheirRowsThroughAFilter) {
    ASSERT_EQ(test::RunScript("all_calls.js"), 0);
    ReadMessagesEndingWith(L"Norvale Shutting Down");
    const Texts deltas = test::ReadTraceColumn(Window(), 9);
    ASSERT_EQ(deltas.size(), 18u);
    for (size_t row = 0; row < deltas.size(); ++row) {
        const bool continuation = row == 9 || row == 10 || row == 12;
        EXPECT_TRUE(std::regex_match(deltas[row], std::wregex(row == 0 || continuation ? L"" : L"-?\\d+")))
            << row << ": " << WideToUtf8(deltas[row]);
    }
    const test::RemoteBlock item(List(), sizeof(LVITEMW));
    LVITEMW selected{};
    selected.stateMask = selected.state = LVIS_SELECTED;
    item.Write(0, &selected, sizeof selected);
    for (const WPARAM row : {4, 8}) SendMessageW(List(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(item.At(0)));
    Command(TTraceForm::ac_ToggleMark);
    const std::wstring mark = L"\u2022";
    EXPECT_EQ(test::ReadTraceColumn(Window(), 10)[8], mark);
    test::TypeFilter(Window(), 0, L"plain;text");
    ReadUntil([](const auto& s) { return s.rows.size() == 4; }, "the filtered rows");
    EXPECT_EQ(test::ReadTraceColumn(Window(), 10), (Texts{mark, mark, L"", L""}));
    test::TypeFilter(Window(), 0, L"");
    ReadUntil([](const auto& s) { return s.rows.size() == 18; }, "every row again");
    // The filter's new list has no selection: the first mark, then on.
    for (const LRESULT row : {4, 8, 4}) {
        Command(TTraceForm::ac_NextMark);
        EXPECT_EQ(Selected(), row);
    }
    EXPECT_EQ(Note(test::ReadTraceStatus(Window())), L"Went past the last row and on from the first");
}

TEST_F(TraceWindowTest, OpenReadsASavedTraceIntoAReadOnlyDocumentOfItsOwn) {
    test::ScratchDirectory dir;
    const std::string path = dir.PathOf("last week.txt");
    {
        std::ofstream file(path, std::ios::binary);
        file << "Date\tTime\tMachine\tProcess\tProject\tModule\tClass\tThread\tCode\tMessage\r\n"
                "2026-12-01\t23:59:59.990\tW\t000004d2\tP\tM\tTC\t000001a4\t00000000\tbefore midnight\r\n"
                "2026-12-02\t00:00:00.015\tW\t000004d2\tP\tM\tTC\t000001a4\t00000003\ta\\tb\r\n"
                "\t\t\t\t\t\t\t\t\tline\r\n"
                "not a row\r\n";
    }
    DWORD serverId = server_->Process().Id();
    PostMessageW(Window(), WM_COMMAND, TTraceForm::btn_Open, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(test::WaitUntil([&] { return (dialog = test::FindProcessWindow(serverId, "#32770", "Open Trace", true)) != nullptr; },
                                std::chrono::milliseconds(20000)))
        << "no \"Open Trace\" dialog within 20 s";
    constexpr int kFileNameBox = 0x47c;
    SetDlgItemTextA(dialog, kFileNameBox, path.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    HWND opened = nullptr;
    // The window is there before its controls are: the status bar comes last.
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            opened = test::FindTraceWindow(serverId, L"last week.txt");
            return opened != nullptr && FindWindowExW(opened, nullptr, STATUSCLASSNAMEW, nullptr) != nullptr;
        },
        std::chrono::milliseconds(20000)))
        << "no document \"last week.txt\" within 20 s";
    const std::wstring read = L"Read 4 lines, 1 kept whole as they did not parse";
    const auto shown = ReadUntil([&](const auto& s) { return Note(s.status) == read; }, "the whole file", opened);
    EXPECT_EQ(test::Messages(shown), (Texts{L"before midnight", L"a\tb", L"line", L"not a row"}));
    EXPECT_EQ(test::ReadTraceColumn(opened, 9), (Texts{L"", L"25", L"", L""}));
    const HWND bar = FindWindowExW(opened, nullptr, TOOLBARCLASSNAMEW, nullptr);
    EXPECT_EQ(SendMessageW(bar, TB_ISBUTTONENABLED, TTraceForm::btn_Clear, 0), 0) << "a saved trace is read-only";
}

TEST_F(TraceWindowTest, NewViewsShowTheLiveRowsWithFiltersOfTheirOwn) {
    const DWORD serverId = server_->Process().Id();
    Command(TTraceForm::btn_NewView);
    Command(TTraceForm::btn_NewView);
    const HWND second = test::FindTraceWindow(serverId, L"Trace 2");
    ASSERT_NE(second, nullptr);
    ASSERT_NE(test::FindTraceWindow(serverId, L"Trace 3"), nullptr);
    test::TypeFilter(second, 0, L"classy");
    ASSERT_EQ(test::RunScript("all_calls.js"), 0);
    ReadUntil([](const auto& s) { return test::Messages(s) == Texts{L"classy"}; }, "the second view's row", second);
    EXPECT_EQ(ReadMessagesEndingWith(L"Norvale Shutting Down").rows.size(), 18u) << "the first view keeps its settings";
    SendMessageW(second, WM_CLOSE, 0, 0);
    EXPECT_TRUE(test::WaitUntil([&] { return test::FindTraceWindow(serverId, L"Trace 2") == nullptr; },
                                std::chrono::milliseconds(10000)))
        << "the closed view still there after 10 s";
}

// Keys come through the X server as a keyboard's do. SendInput from another
// process moves the focus under Wine, but the letters typed after it reach
// no box.
constexpr const char* kXdotool = "Z:\\usr\\bin\\xdotool";

struct UnixProgramEnd {
    int code = -1;
    std::string errors;
};

// xdotool run by sh, which writes down its exit code and standard error: a
// Unix program started from Wine gives no handle to wait on.
UnixProgramEnd RunXdotool(const std::string& arguments) {
    const std::string folder = "Z:\\tmp\\norvale-xdotool-" + std::to_string(GetCurrentProcessId());
    std::filesystem::create_directories(folder);
    const std::string unix = test::UnixPath(folder), code = folder + "\\code";
    std::filesystem::remove(code);
    UnixProgramEnd end;
    // The code's file appears whole, by its rename.
    if (!test::StartUnixProgram("Z:\\bin\\sh", "sh -c \"" + test::UnixPath(kXdotool) + " " + arguments + " 2>" + unix +
                                                   "/errors; echo $? >" + unix + "/code.part; mv " + unix +
                                                   "/code.part " + unix + "/code\"")) {
        ADD_FAILURE() << "sh did not start for xdotool " << arguments;
    } else if (!test::WaitUntil([&] { return test::FileExists(code); }, std::chrono::seconds(20))) {
        ADD_FAILURE() << "xdotool " << arguments << " did not end within 20 s";
    } else {
        end.code = std::stoi(test::ReadWholeFile(code));
        end.errors = test::ReadWholeFile(folder + "\\errors");
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return end;
}

// The frame's caption as an extended regular expression that matches only it.
std::string CaptionPattern(HWND frame) {
    std::string pattern = "^";
    for (const char c : test::WindowText(frame)) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != ' ') pattern += '\\';
        pattern += c;
    }
    return pattern + "$";
}

// A mnemonic pressed with Alt let go before its letter or after it, and
// Ctrl+F: what is typed next lands in that box alone, and Escape goes back to
// the list. A lone Alt leaves the menu bar in menu mode, where Close must
// still end the program.
TEST_F(TraceWindowTest, KeysFromTheKeyboardTypeIntoTheBoxTheirLabelNames) {
    if (!std::filesystem::exists(kXdotool)) GTEST_SKIP() << "xdotool is not installed (Debian's package xdotool)";
    const struct {
        const char* keys;
        int box;
    } cases[] = {
        {"keydown alt keydown s keyup alt keyup s", 0}, {"keydown alt keydown s keyup s keyup alt", 0},
        {"keydown alt keydown h keyup alt keyup h", 1}, {"keydown alt keydown g keyup g keyup alt", 2},
        {"key ctrl+f", 3},
    };
    const HWND frame = GetAncestor(Window(), GA_ROOT);
    // Only a shown frame's X window takes the input focus.
    SendMessageW(frame, WM_COMMAND, ID_AC_SHOWDEBUGWINDOW, 0);
    const DWORD thread = GetWindowThreadProcessId(frame, nullptr);
    GUITHREADINFO info{};
    const auto focus = [&] {
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
    };
    const auto typed = [&] {
        Texts boxes;
        for (int box = 0; box < 4; ++box) {
            wchar_t text[64] = {};
            SendMessageW(test::TraceBox(Window(), box), WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
            boxes.push_back(text);
        }
        return boxes;
    };
    // Without a window manager the frame is brought to the front by giving
    // its X window the focus.
    const std::string front = "search --name '" + CaptionPattern(frame) + "' windowfocus --sync %1 ";
    const auto press = [&](const std::string& keys) {
        const UnixProgramEnd end = RunXdotool(front + keys);
        EXPECT_EQ(end.code, 0) << keys << ": " << end.errors;
        EXPECT_EQ(end.errors, "") << keys;
    };
    for (const auto& c : cases) {
        for (int box = 0; box < 4; ++box) test::TypeFilter(Window(), box, L"");
        press(std::string(c.keys) + " type abc");
        Texts expected(4);
        expected[c.box] = L"abc";
        test::WaitUntil([&] { return typed() == expected; }, std::chrono::seconds(10));
        EXPECT_EQ(typed(), expected) << c.keys << ": the boxes 10 s after the keys";
        EXPECT_EQ(focus(), test::TraceBox(Window(), c.box)) << c.keys;
        press("key Escape");
        EXPECT_TRUE(test::WaitUntil([&] { return focus() == List(); }, std::chrono::seconds(10)))
            << c.keys << ": Escape did not give the list the focus within 10 s";
    }
    press("key alt");
    EXPECT_TRUE(test::WaitUntil([&] { return focus() != nullptr && (info.flags & GUI_INMENUMODE) != 0; },
                                std::chrono::seconds(10)))
        << "a lone Alt did not put the frame in menu mode within 10 s";
    ASSERT_TRUE(server_->Process().RequestClose());
    EXPECT_EQ(server_->Process().WaitForExit(20000), 0) << "Close in menu mode";
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
