// The dispatch with recording console, screen and viewer and the real file
// writer: order of the outputs and what a failure ends.

#include <gtest/gtest.h>

#include <filesystem>

#include "common/ansi_text.h"
#include "common/utf8_text.h"
#include "output/output_stage.h"
#include "tests_support/recording_outputs.h"
#include "tests_support/scratch.h"
#include "tests_support/trace_entries.h"

namespace norvale {
namespace {

using Entries = std::vector<std::string>;

class DispatchTest : public testing::Test {
protected:
    void SetUp() override {
        key_.SetFlag("ToConsole", true);
        key_.SetFlag("ToMono", true);
        key_.SetFlag("ToCodeSite", true);
        key_.SetFlag("ToFile", true);
        key_.SetFlag("FlushOutputFile", true);
        key_.Set("Filename", dir_.PathOf("out.txt"));
        stage_.RefreshProperties();
    }
    void Refresh() { stage_.RefreshProperties(); }
    void Line(std::wstring_view text, MessageKind kind = MessageKind::Plain) {
        stage_.Dispatch(test::MakeEntry(&session_, text, kind));
    }
    void Block(std::wstring_view heading, std::wstring_view data) {
        const TBlockLines lines = TBlockLines::FromText(data);
        stage_.Dispatch(test::MakeEntry(&session_, heading, MessageKind::Block, &lines));
    }
    Entries Journal() const { return recorders_.journal.entries; }
    std::string File() { return test::ReadWholeFile(dir_.PathOf("out.txt")); }

    TMutex lock_{"dispatch test lock"};
    test::RecordingProcessOutputs recorders_;
    test::ScratchSettings key_;
    test::ScratchDirectory dir_;
    TOutputStage stage_{lock_, *recorders_.outputs, key_.Location()};
    const SessionNaming session_{"P", "M", "TFoo", "W", 0};
};

TEST_F(DispatchTest, LineGoesToEveryOutputInOrder) {
    Line(L"hello", MessageKind::Code2);
    EXPECT_EQ(Journal(), (Entries{"console: hello", "screen: hello", "viewer: hello [2]"}));
    EXPECT_EQ(File(), "hello\r\n");
}

TEST_F(DispatchTest, AllOutputsOffWriteNothing) {
    for (const char* name : {"ToConsole", "ToMono", "ToCodeSite", "ToFile"}) key_.SetFlag(name, false);
    Refresh();
    Line(L"x");
    Line(L"x", MessageKind::EnterMethod);
    Block(L"x", L"a");
    EXPECT_TRUE(Journal().empty());
    EXPECT_FALSE(test::FileExists(dir_.PathOf("out.txt")));
}

TEST_F(DispatchTest, EntriesReachTheWindowFirstAsSentAlsoWithEveryOutputOff) {
    recorders_.options.SetFlag("ToWindow", true);
    recorders_.options.Set("WindowLines", "5000");
    Refresh();
    Line(L"Run", MessageKind::EnterMethod);
    EXPECT_EQ(Journal(), (Entries{"window: Run [9]", "console: -> Run", "screen: -> Run", "viewer: Run [9]"}));
    EXPECT_EQ(recorders_.window.windowLines, 5000u);

    recorders_.journal.entries.clear();
    for (const char* name : {"ToConsole", "ToMono", "ToCodeSite", "ToFile"}) key_.SetFlag(name, false);
    Refresh();
    Block(L"h", L"a\r\nb");
    EXPECT_EQ(Journal(), (Entries{"window: h|a|b [6]"}));
}

TEST_F(DispatchTest, ToClientsChangesNothing) {
    key_.SetFlag("ToClients", true);
    Refresh();
    Line(L"hello");
    EXPECT_EQ(Journal(), (Entries{"console: hello", "screen: hello", "viewer: hello [0]"}));
}

TEST_F(DispatchTest, EnterAndExitCarryMarkersExceptToTheViewer) {
    key_.SetFlag("IncludeClass", true);
    key_.SetFlag("IncludeCode", true);
    Refresh();
    Line(L"Run", MessageKind::EnterMethod);
    Line(L"Run", MessageKind::ExitMethod);
    EXPECT_EQ(Journal(), (Entries{"console: TFoo 00000000 -> Run", "screen: TFoo 00000000 -> Run",
                                  "viewer: TFoo 00000000 Run [9]", "console: TFoo 00000000 <- Run",
                                  "screen: TFoo 00000000 <- Run", "viewer: TFoo 00000000 Run [10]"}));
    EXPECT_EQ(File(), "TFoo 00000000 -> Run\r\nTFoo 00000000 <- Run\r\n");
}

TEST_F(DispatchTest, BlockIsIndentedByThePrefixLengthPlusTwo) {
    key_.SetFlag("IncludeProject", true);
    Refresh();
    Block(L"Data", L"a\r\nb");
    EXPECT_EQ(Journal(), (Entries{"console: P Data", "console:     a", "console:     b", "screen: P Data",
                                  "screen:     a", "screen:     b", "viewer: P Data|a|b [6]"}));
    EXPECT_EQ(File(), "P Data\r\n    a\r\n    b\r\n");
}

// The class and the hex row's character column show the two conversions:
// from UTF-16, and from the code page.
TEST_F(DispatchTest, Utf8ReachesConsoleAndFileWhileScreenAndViewerKeepTheCodePage) {
    recorders_.options.Set("FileEncoding", "utf-8");
    key_.SetFlag("IncludeClass", true);
    Refresh();
    TraceSource source;
    source.Class = L"T\u00fc";
    const SessionNaming ansi = NamingIn(FileEncoding::Ansi, source);
    const SessionNaming utf8 = NamingIn(FileEncoding::Utf8, source);
    const std::wstring text = L"Gr\u00fc\u00dfe \u2013 \u4e2d\u6587 \u2713 \U0001F600";
    const uint8_t bytes[] = {0x41, 0xFC};
    const TBlockLines rows = TBlockLines::FromBytes(bytes);
    for (TraceEntry entry : {test::MakeEntry(&ansi, text, MessageKind::EnterMethod),
                             test::MakeEntry(&ansi, L"h", MessageKind::Block, &rows)}) {
        entry.utf8Session = &utf8;
        entry.className = source.Class;
        stage_.Dispatch(entry);
    }
    const std::string ansiClass = ansi.Class + " ";
    const std::string utf8Line = utf8.Class + " -> " + WideToUtf8(text);
    const std::string hexRow = "41 fc " + std::string(42, ' ') + "A";
    const std::string utf8Row = "     " + hexRow + AnsiToUtf8("\xFC");
    EXPECT_EQ(Journal(), (Entries{"console: " + utf8Line, "screen: " + ansiClass + "-> " + WideToAnsi(text),
                                  "viewer: " + ansiClass + WideToAnsi(text) + " [9]", "console: " + utf8.Class + " h",
                                  "console: " + utf8Row, "screen: " + ansiClass + "h",
                                  "screen:      " + hexRow + "\xFC", "viewer: " + ansiClass + "h|" + hexRow + "\xFC [6]"}));
    EXPECT_EQ(File(), utf8Line + "\r\n" + utf8.Class + " h\r\n" + utf8Row + "\r\n");
}

TEST_F(DispatchTest, FailingLineOutputSkipsTheOutputsAfterIt) {
    recorders_.console->failing = true;
    EXPECT_THROW(Line(L"x"), EInOutError);
    EXPECT_TRUE(Journal().empty());
    EXPECT_FALSE(test::FileExists(dir_.PathOf("out.txt")));

    recorders_.console->failing = false;
    recorders_.viewer->failing = true;
    EXPECT_THROW(Line(L"y", MessageKind::EnterMethod), EInOutError);
    EXPECT_EQ(Journal(), (Entries{"console: -> y", "screen: -> y"}));
    EXPECT_FALSE(test::FileExists(dir_.PathOf("out.txt")));
}

TEST_F(DispatchTest, AReceivedEntrysLineAndBlockFillEachPlaceholderOnce) {
    key_.Set("Filename", dir_.PathOf("%MODULE%%PROJECT%.txt"));
    Refresh();
    const SessionNaming received{"%MODULE%", "m", "", "", 0};
    const TBlockLines none = TBlockLines::FromText(std::wstring_view());
    for (const TBlockLines* block : {static_cast<const TBlockLines*>(nullptr), &none}) {
        TraceEntry entry = test::MakeEntry(&received, L"x", block ? MessageKind::Block : MessageKind::Plain, block);
        entry.received = true;
        stage_.Dispatch(entry);
    }
    EXPECT_EQ(test::ReadWholeFile(dir_.PathOf("m%MODULE%.txt")), "x\r\nx\r\n");
}

TEST_F(DispatchTest, FileInMissingDirectoryFailsAfterEarlierOutputsHaveTheLine) {
    key_.Set("Filename", dir_.PathOf("nodir/x.txt"));
    Refresh();
    EXPECT_THROW(Line(L"x"), EInOutError);
    EXPECT_EQ(Journal(), (Entries{"console: x", "screen: x", "viewer: x [0]"}));
}

TEST_F(DispatchTest, BlockFailureOfConsoleScreenOrFileEndsOnlyItsOwnPart) {
    struct Row {
        std::string_view failing;
        Entries journal;
        std::string file;
    };
    const Row rows[] = {
        {"console", {"screen: h", "screen:   a", "viewer: h|a [6]"}, "h\r\n  a\r\n"},
        {"screen", {"console: h", "console:   a", "viewer: h|a [6]"}, "h\r\n  a\r\n"},
        {"file", {"console: h", "console:   a", "screen: h", "screen:   a", "viewer: h|a [6]"}, ""},
    };
    for (const auto& row : rows) {
        recorders_.journal.entries.clear();
        std::filesystem::remove(dir_.PathOf("out.txt"));
        recorders_.console->failing = row.failing == "console";
        recorders_.screen->failing = row.failing == "screen";
        key_.Set("Filename", dir_.PathOf(row.failing == "file" ? "nodir/out.txt" : "out.txt"));
        Refresh();
        Block(L"h", L"a");
        EXPECT_EQ(Journal(), row.journal) << row.failing;
        EXPECT_EQ(File(), row.file) << row.failing;
    }
}

TEST_F(DispatchTest, BlockViewerFailureReachesTheCallerAfterTheFile) {
    recorders_.viewer->failing = true;
    EXPECT_THROW(Block(L"h", L"a"), EInOutError);
    EXPECT_EQ(File(), "h\r\n  a\r\n");
}

TEST_F(DispatchTest, RefreshTakesEffectFromTheNextCall) {
    Line(L"1");
    key_.SetFlag("ToConsole", false);
    Refresh();
    Line(L"2");
    EXPECT_EQ(Journal(), (Entries{"console: 1", "screen: 1", "viewer: 1 [0]", "screen: 2", "viewer: 2 [0]"}));
}

TEST_F(DispatchTest, CloseOutputFileWritesWhatIsBuffered) {
    key_.SetFlag("FlushOutputFile", false);
    Refresh();
    Line(L"buffered");
    EXPECT_TRUE(stage_.OutputFileOpen());
    EXPECT_EQ(File(), "");
    stage_.CloseOutputFile();
    EXPECT_FALSE(stage_.OutputFileOpen());
    EXPECT_EQ(File(), "buffered\r\n");
}

// A batch writes its whole buffers at its end, ended or not.
TEST_F(DispatchTest, ABatchWritesItsWholeBuffersAtItsEndEndedOrNot) {
    key_.SetFlag("FlushOutputFile", false);
    Refresh();
    for (const bool ended : {true, false}) {
        TMutexLock lock(lock_);
        TOutputStage::TBatch batch(stage_);
        for (int i = 0; i < 2; ++i) stage_.DispatchLocked(test::MakeEntry(&session_, std::wstring(100, L'b')));
        EXPECT_EQ(File().size(), ended ? 0u : 128u);
        if (ended) batch.End();
    }
    EXPECT_EQ(File().size(), 384u);
}

TEST_F(DispatchTest, AfterWriteThroughEveryLineIsOnDiskWhateverTheSettingsSay) {
    key_.SetFlag("FlushOutputFile", false);
    Refresh();
    Line(L"buffered");
    stage_.WriteThrough();
    EXPECT_EQ(File(), "buffered\r\n");
    for (const wchar_t* text : {L"next", L"after a refresh"}) {
        Line(text);
        EXPECT_FALSE(stage_.OutputFileOpen()) << WideToAnsi(text);
        Refresh();
    }
    EXPECT_EQ(File(), "buffered\r\nnext\r\nafter a refresh\r\n");
}

}  // namespace
}  // namespace norvale
