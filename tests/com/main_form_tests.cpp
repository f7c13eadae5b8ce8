// The main window and its tray icon, hosted in the test process on the real
// server and session objects: the live tray menu read back through the
// prompts seam, the flush, the close box, the placement, the closing request,
// every record handed to the shell, and the trace window's commands.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <map>
#include <regex>

#include "common/ansi_text.h"
#include "common/system_error.h"
#include "common/utf8_text.h"
#include "shell/main_form.h"
#include "shell/shell_resources.h"
#include "shell/trace_row_look.h"
#include "store/trace_copy_text.h"
#include "tests/com/in_process_host.h"
#include "tests_support/message_pump.h"
#include "tests_support/trace_window_reader.h"

namespace norvale {
namespace {

using Texts = std::vector<std::string>;

// Answers for the user: reads the live tray menu as it opens and picks a
// command; records the dialogs and can act while one is up.
class TestPrompts final : public IShellPrompts {
public:
    UINT TrackTrayMenu(HWND, HMENU menu, POINT) override {
        menus.push_back(Describe(menu));
        return std::exchange(choice, 0);
    }
    std::optional<std::string> ChooseProgramToSpawn(HWND) override { return program; }
    UINT TrackContextMenu(HWND, HMENU menu, POINT) override {
        menus.push_back(Describe(menu));
        return std::exchange(choice, 0);
    }
    std::optional<std::wstring> ChooseTraceFileToSave(HWND) override { return saveTo; }
    std::optional<std::wstring> ChooseTraceFileToOpen(HWND) override { return openFrom; }
    std::optional<std::wstring> ChooseDumpFileToSave(HWND) override { return std::nullopt; }
    void ShowFailure(HWND, const std::exception& failure) override { failures.push_back(failure.what()); }
    void ShowDialog(HWND, TShellDialog dialog) override {
        dialogs.push_back(dialog == TShellDialog::Properties ? "Properties" : "About");
        if (whileDialogUp) whileDialogUp();
    }

    // Each entry as "caption", with " (disabled)", " (default)" and
    // " [picture]" as they apply; separators as "-".
    static std::string Describe(HMENU menu) {
        std::string text;
        const UINT defaultItem = GetMenuDefaultItem(menu, FALSE, GMDI_USEDISABLED);
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            char caption[128] = {};
            MENUITEMINFOA item{};
            item.cbSize = sizeof item;
            item.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE | MIIM_FTYPE | MIIM_BITMAP;
            item.dwTypeData = caption;
            item.cch = sizeof caption;
            GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &item);
            if (!text.empty()) text += "|";
            if ((item.fType & MFT_SEPARATOR) != 0) {
                text += "-";
                continue;
            }
            text += caption;
            if ((item.fState & MFS_DISABLED) != 0) text += " (disabled)";
            if ((item.fState & MFS_CHECKED) != 0) text += " (checked)";
            if (item.wID == defaultItem) text += " (default)";
            if (item.hbmpItem != nullptr) text += " [picture]";
        }
        return text;
    }

    Texts menus;
    Texts dialogs;
    Texts failures;
    UINT choice = 0;
    std::optional<std::string> program;
    std::optional<std::wstring> saveTo;
    std::optional<std::wstring> openFrom;
    std::function<void()> whileDialogUp;
};

class MainFormTest : public test::InProcessHost {
protected:
    void SetUp() override {
        settings_.SetFlag("ToFile", true);
        settings_.SetFlag("FlushOutputFile", false);
        settings_.Set("Filename", dir_.PathOf("out.txt"));
        hooks_.RequestTerminate = [this] {
            ++closeRequests_;
            return false;
        };
        hooks_.SpawnProcess = [this](const std::string& program) { spawned_.push_back(program); };
        hooks_.OutputFileOpen = [this] { return stage_.OutputFileOpen(); };
        hooks_.FlushOutputFile = [this] { instance_.CloseOutputFile(); };
        hooks_.ReadProcessStatus = [this] { return ProcessStatus{{}, viewerLost_.load()}; };
        form_ = std::make_unique<TMainForm>(instance_, registry_, prompts_, traceStore_, hooks_, configPath_);
    }
    void TearDown() override {
        form_.reset();
        HKEY software = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE", 0, KEY_ALL_ACCESS, &software) == ERROR_SUCCESS) {
            RegDeleteTreeA(software, configPath_.c_str());
            RegCloseKey(software);
        }
    }

    void TrayMouse(UINT mouseMessage) {
        SendMessageA(form_->TrayIcon1().Handle(), TTrayIcon::kCallbackMessage, 0, mouseMessage);
    }
    std::string OpenTrayMenu() {
        TrayMouse(WM_RBUTTONUP);
        return prompts_.menus.empty() ? "(no menu)" : prompts_.menus.back();
    }
    void Command(UINT id) { SendMessageA(form_->Handle(), WM_COMMAND, id, 0); }
    std::string File() { return test::ReadWholeFile(dir_.PathOf("out.txt")); }

    test::ScratchDirectory dir_;
    TestPrompts prompts_;
    TTraceStore traceStore_{1000};
    TShellHooks hooks_;
    int closeRequests_ = 0;
    std::atomic<uint64_t> viewerLost_ = 0;
    Texts spawned_;
    std::string configPath_ = "NorvaleTests\\" + test::UniqueTestName("main form");
    std::unique_ptr<TMainForm> form_;
};

constexpr const char* kFlushDisabled = "Flush output file (disabled) (default) [picture]";
constexpr const char* kFlushEnabled = "Flush output file (default) [picture]";

std::string Menu(const std::string& flush, const std::string& dialogs, const std::string& close) {
    return flush + "|Show debug window" + dialogs + " [picture]|-|Properties" + dialogs + " [picture]|About" + dialogs +
           " [picture]|-|" + close + " [picture]";
}

TEST_F(MainFormTest, TrayMenuFollowsTheServerTheSessionsAndTheDialogs) {
    EXPECT_EQ(OpenTrayMenu(), Menu(kFlushDisabled, "", "Close"));
    ComPtr<INorvale> norvale = Activate();
    EXPECT_EQ(OpenTrayMenu(), Menu(kFlushEnabled, "", "Close"));
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    EXPECT_EQ(OpenTrayMenu(), Menu(kFlushEnabled, "", "Close (Sessions open!) (disabled)"));

    // While a dialog is up: no second dialog, no Close; flushing still works.
    std::string duringDialog;
    prompts_.whileDialogUp = [&] {
        duringDialog = OpenTrayMenu();
        Command(ID_AC_ABOUT);
        Command(ID_AC_CLOSE);
    };
    Command(ID_AC_PROPERTIES);
    prompts_.whileDialogUp = nullptr;
    EXPECT_EQ(duringDialog, Menu(kFlushEnabled, " (disabled)", "Close (Sessions open!) (disabled)"));
    EXPECT_EQ(prompts_.dialogs, (Texts{"Properties"}));
    EXPECT_EQ(closeRequests_, 0);

    ASSERT_EQ(session->CloseSession(), S_OK);
    // Closing the session closed the file.
    EXPECT_EQ(OpenTrayMenu(), Menu(kFlushDisabled, "", "Close"));
    Command(ID_AC_ABOUT);
    EXPECT_EQ(prompts_.dialogs, (Texts{"Properties", "About"}));
}

TEST_F(MainFormTest, TipFollowsTheViewersLosses) {
    EXPECT_EQ(form_->TrayIcon1().ToolTip(), "Norvale");
    viewerLost_ = 12;
    EXPECT_TRUE(test::ServeMessagesUntil(
        [&] { return form_->TrayIcon1().ToolTip() == "Norvale\n12 viewer records not delivered"; }))
        << "the tip did not follow within 20 s";
}

TEST_F(MainFormTest, MenuChoiceRunsItsCommand) {
    prompts_.choice = ID_AC_CLOSE;
    OpenTrayMenu();
    EXPECT_EQ(closeRequests_, 1);
    // Refused: the frame stays, and a later Close asks again.
    EXPECT_TRUE(IsWindow(form_->Handle()));
    Command(ID_AC_CLOSE);
    EXPECT_EQ(closeRequests_, 2);
}

TEST_F(MainFormTest, DoubleClickFlushesWhateverTheMenuSays) {
    TrayMouse(WM_LBUTTONDBLCLK);  // no server object: nothing to do
    ComPtr<INorvale> norvale = Activate();
    EXPECT_EQ(File(), "");
    TrayMouse(WM_LBUTTONUP);
    EXPECT_EQ(File(), "");
    TrayMouse(WM_LBUTTONDBLCLK);
    EXPECT_EQ(File(), "Norvale Starting Up\r\n");
    EXPECT_EQ(prompts_.menus, Texts{});
}

TEST_F(MainFormTest, SpawnHandsTheChosenProgramOver) {
    Command(ID_MU_FILESPAWN);
    prompts_.program = "C:\\tools\\app.exe";
    Command(ID_MU_FILESPAWN);
    EXPECT_EQ(spawned_, (Texts{"C:\\tools\\app.exe"}));
}

TEST_F(MainFormTest, CloseBoxOnlyHidesTheFrame) {
    EXPECT_FALSE(IsWindowVisible(form_->Handle()));
    Command(ID_AC_SHOWDEBUGWINDOW);
    EXPECT_TRUE(IsWindowVisible(form_->Handle()));
    SendMessageA(form_->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(form_->Handle()));
    EXPECT_FALSE(IsWindowVisible(form_->Handle()));
    EXPECT_TRUE(form_->TrayIcon1().Active());
    EXPECT_EQ(closeRequests_, 0);
}

TEST_F(MainFormTest, PlacementIsSavedOnHideAndRestoredOnShow) {
    const auto bounds = [this] {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(form_->Handle(), &placement);
        const RECT& r = placement.rcNormalPosition;
        return std::to_string(placement.showCmd) + " " + std::to_string(r.left) + "," + std::to_string(r.top) +
               "," + std::to_string(r.right) + "," + std::to_string(r.bottom);
    };
    form_->ShowDebugWindow();
    MoveWindow(form_->Handle(), 40, 50, 400, 300, TRUE);
    SendMessageA(form_->Handle(), WM_CLOSE, 0, 0);
    // A new frame (the next run) comes back where the user left the old one.
    form_ = std::make_unique<TMainForm>(instance_, registry_, prompts_, traceStore_, hooks_, configPath_);
    form_->ShowDebugWindow();
    EXPECT_EQ(bounds(), "1 40,50,440,350");

    ShowWindow(form_->Handle(), SW_SHOWMAXIMIZED);
    SendMessageA(form_->Handle(), WM_CLOSE, 0, 0);
    form_ = std::make_unique<TMainForm>(instance_, registry_, prompts_, traceStore_, hooks_, configPath_);
    form_->ShowDebugWindow();
    EXPECT_TRUE(IsZoomed(form_->Handle()));
}

TEST_F(MainFormTest, StoredRectangleWithLeftNotBeforeRightIsIgnored) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ("SOFTWARE\\" + configPath_ + "\\DebugWindow").c_str(), 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, value] : std::map<std::string, std::string>{
             {"ShowCmd", "1"}, {"NormPosLeft", "300"}, {"NormPosTop", "10"}, {"NormPosRight", "300"},
             {"NormPosBottom", "200"}}) {
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size()));
    }
    RegCloseKey(key);
    RECT before{};
    GetWindowRect(form_->Handle(), &before);
    form_->ShowDebugWindow();
    RECT after{};
    GetWindowRect(form_->Handle(), &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
}

TEST_F(MainFormTest, ShowDebugWindowBringsTheTraceWindowToTheFrontAgain) {
    const HWND trace = form_->TraceForm().Handle();
    const auto active = [&] {
        return reinterpret_cast<HWND>(SendMessageW(GetParent(trace), WM_MDIGETACTIVE, 0, 0));
    };
    Command(ID_AC_SHOWDEBUGWINDOW);
    EXPECT_TRUE(IsWindowVisible(form_->Handle()));
    EXPECT_TRUE(IsWindowVisible(trace));
    EXPECT_EQ(active(), trace);
    // Its close box only hides it; the frame shows it again.
    SendMessageW(trace, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(trace));
    SendMessageA(form_->Handle(), WM_CLOSE, 0, 0);
    form_->ShowDebugWindow();
    EXPECT_TRUE(IsWindowVisible(trace));
}

// The trace window as a user works with it: rows the dispatch gave the store,
// highlighted, copied, saved, paused.
class TraceFormTest : public MainFormTest {
protected:
    void Append(std::wstring_view text, int32_t code = 0, const TBlockLines* block = nullptr) {
        TraceEntry entry;
        entry.source = source_;
        entry.className = source_->Class;
        entry.threadId = 0x1A4;
        entry.code = code;
        entry.kind = block != nullptr ? MessageKind::Block : MessageKindFromCode(code);
        entry.time.time = TimeOfDay{14, 3, 27, 512};
        entry.text = text;
        entry.block = block;
        traceStore_.Append(entry);
    }
    HWND Trace() { return form_->TraceForm().Handle(); }
    HWND List() { return FindWindowExW(Trace(), nullptr, WC_LISTVIEWW, nullptr); }
    // A key as the frame's loop hands it to the trace window first; Ctrl
    // stays as given until the next press.
    bool Press(HWND window, UINT message, WPARAM key, bool control) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG pressed{window, message, key, 0, 0, {}};
        return form_->PreTranslateMessage(pressed);
    }
    test::ShownTraceWindow ShownWhen(size_t rows) {
        test::ShownTraceWindow shown;
        EXPECT_TRUE(test::ServeMessagesUntil([&] {
            shown = test::ReadTraceWindow(Trace());
            return shown.rows.size() == rows;
        })) << "waiting for " << rows << " rows";
        return shown;
    }
    TraceRowLook LookOfRow(int index) {
        NMLVCUSTOMDRAW draw{};
        draw.nmcd.hdr = {List(), 0, static_cast<UINT>(NM_CUSTOMDRAW)};
        draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
        draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(index);
        SendMessageW(Trace(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&draw));
        return TraceRowLook{draw.clrText, draw.clrTextBk};
    }

    std::shared_ptr<const TraceSource> source_ =
        std::make_shared<const TraceSource>(TraceSource{L"P", L"M", L"TC", L"W", 0x4D2});
};

TEST_F(TraceFormTest, HighlightCopySaveAndPause) {
    const TBlockLines lines = TBlockLines::FromText(L"x\r\n\u4e2d");
    Append(L"alpha");
    Append(L"beta", 1);
    Append(L"gamma", 3, &lines);
    ShownWhen(5);

    test::TypeFilter(Trace(), 2, L"BETA;\u4E2D");
    EXPECT_TRUE(test::ServeMessagesUntil([&] { return LookOfRow(1) == LookOf(TraceRowStyle::Code1, true); }));
    EXPECT_EQ(LookOfRow(0), LookOf(TraceRowStyle::Plain, false));
    EXPECT_EQ(LookOfRow(3), LookOf(TraceRowStyle::Plain, true)) << "a block is highlighted as one";

    const std::wstring fields = L"14:03:27.512\tW\t000004d2\tP\tM\tTC\t000001a4\t";
    LVITEMW selected{};
    selected.stateMask = selected.state = LVIS_SELECTED;
    for (const WPARAM row : {0, 4}) SendMessageW(List(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&selected));
    EXPECT_TRUE(Press(List(), WM_KEYDOWN, 'C', true));
    ASSERT_TRUE(OpenClipboard(nullptr));
    const HANDLE copied = GetClipboardData(CF_UNICODETEXT);
    const std::wstring clipboard = copied != nullptr ? static_cast<const wchar_t*>(GlobalLock(copied)) : L"";
    if (copied != nullptr) GlobalUnlock(copied);
    CloseClipboard();
    EXPECT_EQ(clipboard, fields + L"00000000\talpha\r\n\t\t\t\t\t\t\t\t\u4e2d\r\n");

    prompts_.saveTo = AnsiToWide(dir_.PathOf("saved.txt"));
    EXPECT_TRUE(Press(List(), WM_KEYDOWN, 'S', true));
    Press(List(), WM_KEYUP, 'S', false);
    const std::wstring dated = L"\t" + fields;
    EXPECT_EQ(test::ReadWholeFile(dir_.PathOf("saved.txt")),
              WideToUtf8(L"Date\tTime\tMachine\tProcess\tProject\tModule\tClass\tThread\tCode\tMessage\r\n" + dated +
                         L"00000000\talpha\r\n" + dated + L"00000001\tbeta\r\n" + dated +
                         L"00000003\tgamma\r\n\t\t\t\t\t\t\t\t\tx\r\n\t\t\t\t\t\t\t\t\t\u4e2d\r\n"));

    // Paused, the list stands still while the store goes on.
    const auto pause = [&](BOOL down) {
        SendMessageW(FindWindowExW(Trace(), nullptr, TOOLBARCLASSNAMEW, nullptr), TB_CHECKBUTTON, TTraceForm::btn_Pause,
                     down);
        SendMessageW(Trace(), WM_COMMAND, TTraceForm::btn_Pause, 0);
    };
    pause(TRUE);
    Append(L"delta");
    test::ServeMessagesUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(test::ReadTraceWindow(Trace()).status[0], L"Kept: 6");
    EXPECT_EQ(test::ReadTraceWindow(Trace()).rows.size(), 5u);
    pause(FALSE);
    EXPECT_EQ(ShownWhen(6).rows.back().back(), L"delta");
}

// Run by the frame's message loop, outside any window procedure: a failed
// save is shown and the window goes on.
// A pattern that costs seconds, and a Copy of many long rows, run in slices:
// the window answers between them and says how far they have got.
TEST_F(TraceFormTest, LongSearchesAndCopiesSayHowFarTheyHaveGot) {
    for (int i = 0; i < 60; ++i) Append(std::wstring(200, L'a'));
    ShownWhen(60);
    const auto note = [this] { return test::ReadTraceStatus(Trace()).back(); };
    // The first slice ran before the command returned.
    const auto goesOn = [&](const std::wstring& doing) {
        const std::wstring started = note();
        EXPECT_TRUE(std::regex_match(started, std::wregex(doing + L"\u2026 \\d+%"))) << WideToUtf8(started);
        EXPECT_TRUE(test::ServeMessagesUntil([&] { return note().starts_with(doing) && note() != started; }))
            << WideToUtf8(doing) << " did not get past " << WideToUtf8(started) << " within 20 s";
    };
    const std::wstring slow = L"/((.?){1000}){6}z/";
    test::TypeFilter(Trace(), 0, slow);
    goesOn(L"searching");
    EXPECT_TRUE(test::ServeMessagesUntil([&] { return note().empty() && test::ReadTraceWindow(Trace()).rows.empty(); }))
        << "the filter's pass did not end within 20 s";
    test::TypeFilter(Trace(), 0, L"");
    ShownWhen(60);
    test::TypeFilter(Trace(), 3, slow);
    EXPECT_TRUE(Press(List(), WM_KEYDOWN, VK_F3, false));
    goesOn(L"searching");
    EXPECT_TRUE(test::ServeMessagesUntil([&] { return note() == L"Find: no shown row matches"; }))
        << "find did not end within 20 s";

    test::TypeFilter(Trace(), 3, L"");
    const std::wstring longText(60000, L'b');
    for (int i = 0; i < 500; ++i) Append(longText);
    EXPECT_TRUE(test::ServeMessagesUntil([this] { return SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0) == 560; }))
        << "waiting for 560 rows";
    LVITEMW all{};
    all.stateMask = all.state = LVIS_SELECTED;
    SendMessageW(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&all));
    EXPECT_TRUE(Press(List(), WM_KEYDOWN, 'C', true));
    goesOn(L"copying");
    EXPECT_TRUE(test::ServeMessagesUntil([&] { return note().empty(); })) << "Copy did not end within 20 s";
    ASSERT_TRUE(OpenClipboard(nullptr));
    const HANDLE copied = GetClipboardData(CF_UNICODETEXT);
    const size_t length = copied != nullptr ? wcslen(static_cast<const wchar_t*>(GlobalLock(copied))) : 0;
    if (copied != nullptr) GlobalUnlock(copied);
    CloseClipboard();
    const size_t fields = std::wstring(L"14:03:27.512\tW\t000004d2\tP\tM\tTC\t000001a4\t00000000\t\r\n").size();
    EXPECT_EQ(length, 60 * (fields + 200) + 500 * (fields + 60000));
}

TEST_F(TraceFormTest, FailedSavesAreShownAndTheWindowGoesOn) {
    const std::string held = dir_.PathOf("held.txt");
    const UniqueHandle holder(CreateFileA(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    for (const std::string& path : {dir_.PathOf("no such folder\\saved.txt"), held}) {
        prompts_.saveTo = AnsiToWide(path);
        EXPECT_TRUE(Press(List(), WM_KEYDOWN, 'S', true)) << path;
    }
    Press(List(), WM_KEYUP, 'S', false);
    const std::string failed = "cannot save the trace rows: ";
    EXPECT_EQ(prompts_.failures, (Texts{failed + SystemErrorText(ERROR_PATH_NOT_FOUND),
                                        failed + SystemErrorText(ERROR_SHARING_VIOLATION)}));
}

TEST_F(TraceFormTest, KeysReachTheFilterBoxesAndClear) {
    Append(L"alpha");
    ShownWhen(1);
    Command(ID_AC_SHOWDEBUGWINDOW);
    HWND box = nullptr;
    // The letter goes down to the frame, which must see it under Alt; its
    // character, in either case, moves the focus.
    for (const WPARAM key : {'s', 'H', 'g'}) {
        box = FindWindowExW(Trace(), box, L"EDIT", nullptr);
        EXPECT_FALSE(Press(List(), WM_SYSKEYDOWN, key & ~0x20, false)) << static_cast<char>(key);
        EXPECT_TRUE(Press(List(), WM_SYSCHAR, key, false)) << static_cast<char>(key);
        EXPECT_EQ(GetFocus(), box) << static_cast<char>(key);
    }
    EXPECT_TRUE(Press(box, WM_KEYDOWN, VK_ESCAPE, false));
    EXPECT_EQ(GetFocus(), List()) << "Escape in a box returns to the list";
    EXPECT_FALSE(Press(List(), WM_KEYDOWN, VK_ESCAPE, false)) << "Escape in the list is the list's own";
    EXPECT_FALSE(Press(box, WM_KEYDOWN, 'C', true)) << "Ctrl+C in a filter box is the box's own";
    EXPECT_TRUE(Press(List(), WM_KEYDOWN, 'L', true));
    EXPECT_EQ(ShownWhen(0).status, (std::vector<std::wstring>{L"Kept: 0", L"Shown: 0", L"Dropped: 0", L""}));
    Press(List(), WM_KEYUP, 'L', false);
}

TEST_F(TraceFormTest, ListFollowsNewRowsUntilTheUserPicksOneAndAgainFromTheEnd) {
    const auto top = [&] { return SendMessageW(List(), LVM_GETTOPINDEX, 0, 0); };
    const auto lastInView = [&] {
        return top() + SendMessageW(List(), LVM_GETCOUNTPERPAGE, 0, 0) >= SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0);
    };
    const auto add = [&](size_t rows) {
        for (size_t i = 0; i < 50; ++i) Append(L"row");
        ShownWhen(rows);
    };
    add(50);
    EXPECT_TRUE(lastInView());
    LVITEMW selected{};
    selected.stateMask = selected.state = LVIS_SELECTED;
    SendMessageW(List(), LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&selected));
    const auto before = top();
    add(100);
    EXPECT_EQ(top(), before) << "moved under a picked row";
    // Wine's list scrolls short of its end at SB_BOTTOM; the user's way there
    // does not matter.
    SendMessageW(List(), LVM_ENSUREVISIBLE, 99, FALSE);
    add(150);
    EXPECT_TRUE(lastInView()) << "stopped following after a scroll back to the end";
}

TEST_F(TraceFormTest, FiltersColumnWidthsAndPlaceComeBackInTheNextRun) {
    test::TypeFilter(Trace(), 1, L"noise;\u4e2d");
    // The first open fills the frame; the user makes it a window of its own,
    // then sizes a column (the Message column fills the list until then).
    ShowWindow(Trace(), SW_RESTORE);
    MoveWindow(Trace(), 12, 14, 300, 200, TRUE);
    SendMessageW(List(), LVM_SETCOLUMNWIDTH, 8, 321);
    form_.reset();
    form_ = std::make_unique<TMainForm>(instance_, registry_, prompts_, traceStore_, hooks_, configPath_);
    wchar_t hide[64] = {};
    GetWindowTextW(FindWindowExW(Trace(), FindWindowExW(Trace(), nullptr, L"EDIT", nullptr), L"EDIT", nullptr), hide,
                   64);
    EXPECT_EQ(std::wstring(hide), L"noise;\u4e2d");
    EXPECT_EQ(SendMessageW(List(), LVM_GETCOLUMNWIDTH, 8, 0), 321);
    RECT place{};
    GetWindowRect(Trace(), &place);
    MapWindowPoints(nullptr, GetParent(Trace()), reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(place.left, 12);
    EXPECT_EQ(place.right - place.left, 300);
}

// The column headers' menu, read through the prompts as it opens (another
// process cannot read a menu under Wine); the keys of find and marks.
TEST_F(TraceFormTest, HeaderMenuSwitchesColumnsAndKeysFindAndMark) {
    Append(L"alpha");
    Append(L"beta");
    ShownWhen(2);
    const auto header = reinterpret_cast<HWND>(SendMessageW(List(), LVM_GETHEADER, 0, 0));
    RECT place{};
    GetWindowRect(header, &place);
    const auto headerMenu = [&](int column) {
        prompts_.choice = static_cast<UINT>(TTraceForm::ac_ShowColumn + column);
        SendMessageW(Trace(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(header), MAKELPARAM(place.left + 4, place.top + 4));
        return prompts_.menus.back();
    };
    const std::string nine = "Time (checked)|Machine (checked)|Process (checked)|Project (checked)|Module (checked)|"
                             "Class (checked)|Thread (checked)|Code (checked)|Message (checked)|";
    EXPECT_EQ(headerMenu(9), nine + "? ms|Mark (checked)");
    EXPECT_GT(SendMessageW(List(), LVM_GETCOLUMNWIDTH, 9, 0), 0);
    EXPECT_EQ(headerMenu(1), nine + "? ms (checked)|Mark (checked)");
    EXPECT_EQ(SendMessageW(List(), LVM_GETCOLUMNWIDTH, 1, 0), 0);

    const HWND findBox = FindWindowExW(Trace(), FindWindowExW(Trace(), FindWindowExW(Trace(), FindWindowExW(Trace(), nullptr, L"EDIT", nullptr), L"EDIT", nullptr), L"EDIT", nullptr), L"EDIT", nullptr);
    EXPECT_TRUE(Press(List(), WM_KEYDOWN, 'F', true));
    EXPECT_EQ(GetFocus(), findBox);
    SetWindowTextW(findBox, L"BETA");
    EXPECT_TRUE(Press(findBox, WM_KEYDOWN, VK_RETURN, false));
    const auto selected = [&] { return SendMessageW(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED); };
    EXPECT_EQ(selected(), 1);
    EXPECT_TRUE(Press(List(), WM_KEYDOWN, VK_F2, true));
    EXPECT_EQ(test::ReadTraceColumn(Trace(), 10), (std::vector<std::wstring>{L"", L"\u2022"}));
    SetWindowTextW(findBox, L"alpha");
    EXPECT_TRUE(Press(List(), WM_KEYDOWN, VK_F3, false));
    EXPECT_EQ(selected(), 0);
    EXPECT_TRUE(Press(List(), WM_KEYDOWN, VK_F2, false));
    EXPECT_EQ(selected(), 1);
    Press(List(), WM_KEYUP, VK_F2, false);
}

// Every record the icon hands to the shell, and when.
TEST(TrayIconTest, RecordsHandedToTheShell) {
    Texts calls;
    HWND window = nullptr;
    const auto record = [&](DWORD message, NOTIFYICONDATAA& data) {
        const char* name = message == NIM_ADD ? "add" : message == NIM_MODIFY ? "modify" : "delete";
        calls.push_back(std::string(name) + " size " + std::to_string(data.cbSize) + " id " +
                        std::to_string(data.uID) + " flags " + std::to_string(data.uFlags) + " message " +
                        std::to_string(data.uCallbackMessage) + (data.hWnd == window ? " own window" : " other") +
                        (data.hIcon != nullptr ? " icon" : " no icon") + " tip " + data.szTip);
        return TRUE;
    };
    {
        TTrayIcon icon(record);
        window = icon.Handle();
        icon.SetToolTip("before");
        icon.SetIcon(LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION)));
        EXPECT_EQ(calls, Texts{}) << "nothing reaches the shell while inactive";
        icon.SetActive(true);
        icon.SetToolTip(std::string(70, 't'));
        SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    }
    const std::string fields = " size " + std::to_string(NOTIFYICONDATAA_V1_SIZE) + " id 0 flags 7 message 1025 own window icon tip ";
    EXPECT_EQ(calls, (Texts{"add" + fields + "before", "modify" + fields + "before",
                            "modify" + fields + std::string(62, 't'), "add" + fields + std::string(62, 't'),
                            "modify" + fields + std::string(62, 't'), "delete" + fields + std::string(62, 't')}));
}

}  // namespace
}  // namespace norvale
