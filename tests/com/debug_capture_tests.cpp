// Debug output capture with real writer processes: a server started by hand
// with no client, its file and trace window read from outside; another
// reader beside it; and the capture's parts in this process, for the global
// names, a platform that refuses them and the writers' names.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "capture/debug_output_capture_win32.h"
#include "config/options_settings.h"
#include "config/registry_api.h"
#include "config/registry_values.h"
#include "tests/com/com_support.h"
#include "tests/com/server_process.h"
#include "tests_support/message_pump.h"
#include "tests_support/recording_outputs.h"
#include "tests_support/trace_window_reader.h"

namespace norvale {
namespace {

constexpr const char* kOptionsKey = OptionsLocation::kOptionsSettingsKey;
constexpr std::chrono::seconds kSettle(30);

std::string Peer(const std::string& arguments) { return test::BinDirectory() + "norvale_debug_peer.exe " + arguments; }

// A peer run to its end (bounded): its exit code; what it printed goes to
// `output` when given.
int64_t RunPeer(const std::string& arguments, const std::string& output = {}) {
    test::ScratchDirectory dir;
    return test::ChildProcess(Peer(arguments), output.empty() ? dir.PathOf("out.txt") : output).WaitForExit(60000);
}

std::string Hex(DWORD value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", value);
    return text;
}

class DebugCaptureTest : public testing::Test {
protected:
    DebugCaptureTest() : output_({"IncludeModule", "IncludeProcess"}) { SetCapture(true); }
    ~DebugCaptureTest() override {
        server_.reset();
        RegApiDeleteTree(RegCurrentUser(), kOptionsKey);
    }
    static void SetCapture(bool on) { WriteRegString(RegCurrentUser(), kOptionsKey, "CaptureDebugOutput", on ? "1" : "0"); }
    HWND Window() { return test::FindTraceWindow(server_->Process().Id()); }
    std::wstring CaptureProblem() { return test::ReadTraceWindow(Window()).status.back(); }
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
    server_ = std::make_unique<test::ServerProcess>();
    constexpr int kMany = 20000, kBlocks = 50;
    test::ScratchDirectory dir;
    test::ChildProcess many(Peer("write A " + std::to_string(kMany)), dir.PathOf("a.txt"));
    test::ChildProcess blocks(Peer("write B " + std::to_string(kBlocks) + " lines"), dir.PathOf("b.txt"));
    ASSERT_EQ(many.WaitForExit(120000), 0);
    ASSERT_EQ(blocks.WaitForExit(120000), 0);
    EXPECT_TRUE(test::ServeMessagesUntil(
        [&] { return LinesOf("A").size() == kMany && LinesOf("B").size() == kBlocks; }, kSettle))
        << "every string in the file";

    const auto linesA = LinesOf("A");
    const std::string prefixA = "norvale_debug_peer.exe " + Hex(many.Id()) + " ";
    for (int i = 0; i < kMany; ++i) ASSERT_EQ(linesA[static_cast<size_t>(i)], prefixA + "A s" + std::to_string(i));
    // A string of several lines is one entry: its further lines are a block.
    const std::vector<std::string> all = output_.Lines();
    const std::string prefixB = "norvale_debug_peer.exe " + Hex(blocks.Id()) + " ";
    const auto at = std::find(all.begin(), all.end(), prefixB + "B s7");
    ASSERT_GE(std::distance(at, all.end()), 3);
    EXPECT_EQ(*(at + 1), std::string(prefixB.size() + 2, ' ') + "second");
    EXPECT_EQ(*(at + 2), std::string(prefixB.size() + 2, ' ') + "third");

    // The filter works in posted slices, which the row reads' sent messages
    // would hold back: the count alone is watched meanwhile.
    test::TypeFilter(Window(), 0, L"A s19999");
    const HWND list = FindWindowExW(Window(), nullptr, WC_LISTVIEWW, nullptr);
    EXPECT_TRUE(test::ServeMessagesUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1; }, kSettle))
        << "the filtered row";
    const auto shown = test::ReadTraceWindow(Window());
    EXPECT_EQ(shown.status[3], L"Captured: " + std::to_wstring(kMany + kBlocks));
    EXPECT_EQ(shown.status[4], L"Capture dropped: 0");
    EXPECT_EQ(shown.status.back(), L"");
    ASSERT_EQ(shown.rows.size(), 1u);
    EXPECT_EQ(shown.rows[0][1], LocalComputerName());
    EXPECT_EQ(shown.rows[0][2], AnsiToWide(Hex(many.Id())));
    EXPECT_EQ(shown.rows[0][4], L"norvale_debug_peer.exe");
}

// One reader at a time: the strings would go to either at random.
TEST_F(DebugCaptureTest, CaptureStaysOutBesideAnotherReaderSaysSoAndLeavesTheNamesFreeWhenTurnedOff) {
    test::ScratchDirectory dir;
    const auto startReader = [&](const std::string& name) {
        const std::string ready = test::UniqueTestName(name);
        const UniqueHandle readerReady(CreateEventA(nullptr, TRUE, FALSE, ready.c_str()));
        test::ChildProcess reader(Peer("read \"\" 1 \"" + ready + "\" 60"), dir.PathOf(name + ".txt"));
        EXPECT_EQ(WaitForSingleObject(readerReady.get(), 30000), WAIT_OBJECT_0) << "the start of " << name;
        return reader;
    };
    test::ChildProcess first = startReader("first reader");
    server_ = std::make_unique<test::ServerProcess>();
    EXPECT_TRUE(test::ServeMessagesUntil(
        [&] { return CaptureProblem() == L"Debug output is being captured by another program"; }, kSettle));
    ASSERT_EQ(RunPeer("write C 1"), 0);
    ASSERT_EQ(first.WaitForExit(30000), 0);
    EXPECT_NE(test::ReadWholeFile(dir.PathOf("first reader.txt")).find(" C s0"), std::string::npos);

    // The next refresh tries again, and gets the names now.
    const ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_EQ(norvale->RefreshProperties(), S_OK);
    EXPECT_TRUE(test::ServeMessagesUntil([&] { return CaptureProblem().empty(); }, kSettle)) << "the refusal's end";
    ASSERT_EQ(RunPeer("write D 1"), 0);
    EXPECT_TRUE(test::ServeMessagesUntil([&] { return LinesOf("D").size() == 1; }, kSettle)) << "the string";

    SetCapture(false);
    ASSERT_EQ(norvale->RefreshProperties(), S_OK);
    test::ChildProcess second = startReader("second reader");
    ASSERT_EQ(RunPeer("write E 1"), 0);
    EXPECT_EQ(second.WaitForExit(30000), 0);
    EXPECT_TRUE(LinesOf("E").empty());
}

// On a recording console: the global names work as the session's (Wine asks
// no privilege for them), and a platform that refuses them leaves the
// session's capture running.
TEST(DebugCaptureInProcessTest, GlobalNamesAreReadBesideTheSessionsAndARefusalStopsOnlyThem) {
    test::ScratchSettings key;
    key.SetFlag("ToConsole", true);
    key.SetFlag("IncludeModule", true);
    test::RecordingProcessOutputs recorders;
    recorders.outputs->RefreshOptions();
    TMutex lock(test::UniqueTestName("capture lock"));
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
        EXPECT_TRUE(test::ServeMessagesUntil([&] {
            return capture.Status().session.state == ChannelState::Capturing && capture.Status().global.state == global;
        }));
        ASSERT_EQ(RunPeer("write S 1"), 0);
        EXPECT_EQ(RunPeer("write-names Global\\ G 2"), refused ? 3 : 0);
        std::vector<std::string> expected{"console: norvale_debug_peer.exe S s0"};
        if (!refused) expected.insert(expected.end(), {"console: norvale_debug_peer.exe G s0", "console: norvale_debug_peer.exe G s1"});
        EXPECT_TRUE(test::ServeMessagesUntil([&] {
            TMutexLock locked(lock);
            return recorders.journal.entries.size() >= expected.size();
        }));
        TMutexLock locked(lock);
        EXPECT_EQ(recorders.journal.entries, expected);
        recorders.journal.entries.clear();
    }
}

// Known writers are bounded; one forgotten is looked up afresh; a string
// older than the process now holding its id is not given that one's name.
TEST(WriterNamesTest, TheBoundForgetsTheLeastRecentlyHeardAndEveryLookupNamesItsOwnProcess) {
    // Readers of names of their own: processes that wait, as writers would.
    std::vector<test::ChildProcess> writers;
    for (const char* name : {"idle 1", "idle 2"}) writers.emplace_back(Peer("read \"" + test::UniqueTestName(name) + "\" 1 none 30"));
    TWriterNames names(L"PC", 2);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    EXPECT_EQ(names.Of(writers[0].Id(), FILETIME{})->source->Module, L"");
    const auto nameOf = [&](DWORD processId) { return names.Of(processId, now)->source->Module; };
    for (const DWORD id : {GetCurrentProcessId(), writers[0].Id(), writers[1].Id(), GetCurrentProcessId()}) {
        EXPECT_EQ(nameOf(id), id == GetCurrentProcessId() ? L"norvale_com_tests.exe" : L"norvale_debug_peer.exe");
        EXPECT_LE(names.Known(), 2u);
    }
    const auto writer = names.Of(writers[1].Id(), now);
    EXPECT_EQ(writer->naming.Machine, "PC");
    EXPECT_EQ(writer->source->ProcessID, static_cast<int32_t>(writers[1].Id()));
    for (auto& child : writers) child.Kill();
}

}  // namespace
}  // namespace norvale
