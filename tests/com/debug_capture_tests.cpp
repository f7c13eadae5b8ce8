// Debug output capture with real writer processes: a server started by hand
// with no client, its file and trace window read from outside; another
// reader beside it; and the capture's parts in this process, for the global
// names and a platform that refuses them.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <regex>
#include <thread>

#include "capture/debug_output_capture_win32.h"
#include "config/options_settings.h"
#include "config/registry_api.h"
#include "config/registry_values.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "tests_support/recording_outputs.h"
#include "tests_support/trace_window_reader.h"

namespace norvale {
namespace {

constexpr const char* kOptionsKey = OptionsLocation::kOptionsSettingsKey;

std::string Peer(const std::string& arguments) { return test::BinDirectory() + "norvale_debug_peer.exe " + arguments; }

// Waits (bounded) until `done` holds; fails naming `what` otherwise.
template <typename Condition>
bool WaitUntil(Condition done, const char* what, int seconds = 30) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            ADD_FAILURE() << "waited " << seconds << " s for " << what;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// A peer process run to its end: its exit code and what it printed.
struct PeerRun {
    int64_t exitCode;
    std::string output;
};
PeerRun RunPeer(const std::string& arguments) {
    test::ScratchDirectory dir;
    test::ChildProcess peer(Peer(arguments), dir.PathOf("out.txt"));
    const int64_t exitCode = peer.WaitForExit(60000);
    return {exitCode, test::ReadWholeFile(dir.PathOf("out.txt"))};
}

std::string Hex(DWORD value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", value);
    return text;
}

class DebugCaptureTest : public testing::Test {
protected:
    DebugCaptureTest() : output_({"IncludeModule", "IncludeProcess"}) {
        RegApiDeleteTree(RegCurrentUser(), kOptionsKey);
        SetCapture(true);
    }
    ~DebugCaptureTest() override {
        server_.reset();
        RegApiDeleteTree(RegCurrentUser(), kOptionsKey);
    }
    static void SetCapture(bool on) { WriteRegString(RegCurrentUser(), kOptionsKey, "CaptureDebugOutput", on ? "1" : "0"); }
    void StartServer() { server_ = std::make_unique<test::ServerProcess>(); }
    HWND Window() { return test::FindTraceWindow(server_->Process().Id()); }
    std::wstring CaptureProblem() { return test::ReadTraceWindow(Window()).status[5]; }
    // The file's lines of one tag's strings.
    std::vector<std::string> LinesOf(const std::string& tag) {
        std::vector<std::string> lines;
        for (const std::string& line : output_.Lines()) {
            if (line.find(" " + tag + " s") != std::string::npos) lines.push_back(line);
        }
        return lines;
    }

    test::OutputSetup output_;
    std::unique_ptr<test::ServerProcess> server_;
};

TEST_F(DebugCaptureTest, TwoWritersAtOnceReachTheFileAndTheWindowWithoutAClientNoneLost) {
    StartServer();
    constexpr int kMany = 20000, kBlocks = 50;
    test::ScratchDirectory dir;
    test::ChildProcess many(Peer("write A " + std::to_string(kMany)), dir.PathOf("a.txt"));
    test::ChildProcess blocks(Peer("write B " + std::to_string(kBlocks) + " lines"), dir.PathOf("b.txt"));
    ASSERT_EQ(many.WaitForExit(120000), 0);
    ASSERT_EQ(blocks.WaitForExit(120000), 0);
    WaitUntil([&] { return LinesOf("A").size() == kMany && LinesOf("B").size() == kBlocks; }, "every string in the file");

    const std::string moduleA = "norvale_debug_peer.exe " + Hex(many.Id()) + " ";
    const auto linesA = LinesOf("A");
    for (int i = 0; i < kMany; ++i) ASSERT_EQ(linesA[static_cast<size_t>(i)], moduleA + "A s" + std::to_string(i));
    // Each string of several lines is one entry: its first line, then the
    // rest as block lines under it.
    const std::vector<std::string> all = output_.Lines();
    const std::string prefixB = "norvale_debug_peer.exe " + Hex(blocks.Id()) + " ";
    const auto at = std::find(all.begin(), all.end(), prefixB + "B s7");
    ASSERT_GE(std::distance(at, all.end()), 3);
    const std::string indent(prefixB.size() + 2, ' ');
    EXPECT_EQ(*(at + 1), indent + "second");
    EXPECT_EQ(*(at + 2), indent + "third");

    // The window: the writer's id and image name in their columns. Its
    // filter works in posted slices, which the row reads' sent messages
    // would hold back: the count alone is watched meanwhile.
    test::TypeFilter(Window(), 0, L"A s19999");
    const HWND list = FindWindowExW(Window(), nullptr, WC_LISTVIEWW, nullptr);
    WaitUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1; }, "the filtered row");
    const auto shown = test::ReadTraceWindow(Window());
    EXPECT_EQ(shown.status[3], L"Captured: " + std::to_wstring(kMany + kBlocks));
    EXPECT_EQ(shown.status[4], L"Capture dropped: 0");
    EXPECT_EQ(shown.status[5], L"");
    const auto& rows = shown.rows;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], LocalComputerName());
    EXPECT_EQ(rows[0][2], AnsiToWide(Hex(many.Id())));
    EXPECT_EQ(rows[0][4], L"norvale_debug_peer.exe");
}

// One reader at a time: the strings would go to either at random.
TEST_F(DebugCaptureTest, CaptureStaysOutBesideAnotherReaderSaysSoAndLeavesTheNamesFreeWhenTurnedOff) {
    const std::string ready = test::UniqueTestName("reader ready");
    const UniqueHandle readerReady(CreateEventA(nullptr, TRUE, FALSE, ready.c_str()));
    test::ScratchDirectory dir;
    test::ChildProcess reader(Peer("read \"\" 1 \"" + ready + "\" 60"), dir.PathOf("reader.txt"));
    ASSERT_EQ(WaitForSingleObject(readerReady.get(), 30000), WAIT_OBJECT_0) << "the other reader's start";
    StartServer();
    WaitUntil([&] { return CaptureProblem() == L"Debug output is being captured by another program"; },
              "the status bar to say capture is refused");
    ASSERT_EQ(RunPeer("write C 1").exitCode, 0);
    ASSERT_EQ(reader.WaitForExit(30000), 0);
    EXPECT_NE(test::ReadWholeFile(dir.PathOf("reader.txt")).find(" C s0"), std::string::npos);

    // The next refresh tries again, and gets the names now.
    const ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_EQ(norvale->RefreshProperties(), S_OK);
    WaitUntil([&] { return CaptureProblem().empty(); }, "the refusal to go from the status bar");
    ASSERT_EQ(RunPeer("write D 1").exitCode, 0);
    WaitUntil([&] { return LinesOf("D").size() == 1; }, "the string in the file");

    // Turned off, the names are free again for another reader.
    SetCapture(false);
    ASSERT_EQ(norvale->RefreshProperties(), S_OK);
    const std::string again = test::UniqueTestName("second reader ready");
    const UniqueHandle secondReady(CreateEventA(nullptr, TRUE, FALSE, again.c_str()));
    test::ChildProcess second(Peer("read \"\" 1 \"" + again + "\" 60"), dir.PathOf("second.txt"));
    ASSERT_EQ(WaitForSingleObject(secondReady.get(), 30000), WAIT_OBJECT_0) << "the second reader's start";
    ASSERT_EQ(RunPeer("write E 1").exitCode, 0);
    EXPECT_EQ(second.WaitForExit(30000), 0);
    EXPECT_TRUE(LinesOf("E").empty());
}

// The capture's parts in this process, on a recording console: the global
// names work as the session's (Wine asks no privilege for them), and a
// platform that refuses them leaves the session's capture running.
TEST(DebugCaptureInProcessTest, GlobalNamesAreReadBesideTheSessionsAndARefusalStopsOnlyThem) {
    test::ScratchSettings key;
    key.SetFlag("ToConsole", true);
    key.SetFlag("IncludeModule", true);
    test::RecordingProcessOutputs recorders;
    TMutex lock(test::UniqueTestName("capture lock"));
    recorders.outputs->RefreshOptions();
    TOutputStage stage(lock, *recorders.outputs, key.Location());
    const ChannelOpener refusing = [](std::wstring_view prefix) {
        return prefix == kGlobalPrefix ? TDebugOutputChannel::Refused({ChannelState::NotPermitted, ERROR_ACCESS_DENIED})
                                       : TDebugOutputChannel::Open(prefix);
    };
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "permitted");
        TDebugOutputCapture capture(stage, [] {}, refused ? refusing : TDebugOutputChannel::Open);
        OptionsSettings options;
        options.CaptureDebugOutput = options.CaptureGlobal = true;
        capture.ApplyOptions(options);
        const ChannelState global = refused ? ChannelState::NotPermitted : ChannelState::Capturing;
        WaitUntil([&] { return capture.Status().session.state == ChannelState::Capturing &&
                               capture.Status().global.state == global; },
                  "both channels to settle");
        ASSERT_EQ(RunPeer("write S 1").exitCode, 0);
        EXPECT_EQ(RunPeer("write-names Global\\ G 2").exitCode, refused ? 3 : 0);
        const std::vector<std::string> expected =
            refused ? std::vector<std::string>{"console: norvale_debug_peer.exe S s0"}
                    : std::vector<std::string>{"console: norvale_debug_peer.exe S s0", "console: norvale_debug_peer.exe G s0",
                                               "console: norvale_debug_peer.exe G s1"};
        WaitUntil([&] {
            TMutexLock locked(lock);
            return recorders.journal.entries.size() >= expected.size();
        }, "the strings on the console");
        TMutexLock locked(lock);
        EXPECT_EQ(recorders.journal.entries, expected);
        recorders.journal.entries.clear();
    }
}

// Known writers are bounded, and one forgotten is looked up afresh.
TEST(WriterNamesTest, TheBoundForgetsTheLeastRecentlyHeardAndEveryLookupNamesItsOwnProcess) {
    // Readers of names of their own: processes that wait, each as a writer.
    std::vector<test::ChildProcess> writers;
    for (int i = 0; i < 2; ++i) writers.emplace_back(Peer("read " + test::UniqueTestName("idle") + std::to_string(i) + " 1 none 30"));
    TWriterNames names(L"PC", 2);
    const auto nameOf = [&](DWORD processId) { return names.Of(processId)->source->Module; };
    EXPECT_EQ(nameOf(GetCurrentProcessId()), L"norvale_com_tests.exe");
    for (const auto& writer : writers) EXPECT_EQ(nameOf(writer.Id()), L"norvale_debug_peer.exe");
    EXPECT_EQ(names.Known(), 2u);
    EXPECT_EQ(nameOf(GetCurrentProcessId()), L"norvale_com_tests.exe");
    EXPECT_EQ(names.Known(), 2u);
    const auto writer = names.Of(writers[1].Id());
    EXPECT_EQ(writer->naming.Machine, "PC");
    EXPECT_EQ(writer->source->ProcessID, static_cast<int32_t>(writers[1].Id()));
    for (auto& child : writers) child.Kill();
}

}  // namespace
}  // namespace norvale
