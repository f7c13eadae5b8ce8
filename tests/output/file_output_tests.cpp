// The file writer on the real file system: POSIX natively, Win32 under Wine.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "common/errors.h"
#include "common/system_error.h"
#include "output/file_output.h"
#include "output/file_rotation.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

class FileOutputTest : public testing::Test {
protected:
    void UseFile(const std::string& name) { settings_.Filename = dir_.PathOf(name); }
    void Line(const std::string& text, const SessionNaming* session = nullptr) {
        file_.WriteLine(TraceLine{text, text, MessageKind::Plain, session});
    }
    std::string Contents(const std::string& name) { return test::ReadWholeFile(dir_.PathOf(name)); }
    void Rotate(uint32_t maxMB, bool daily, uint32_t keep) {
        OptionsSettings options;
        std::tie(options.FileMaxMB, options.FileDaily, options.FileKeep) = std::tuple(maxMB, daily, keep);
        file_.ApplyOptions(options);
    }
    // `NAME.N.EXT` … `NAME.EXT`, oldest first, and nothing older.
    std::string Chain(const std::string& name, size_t olderFiles) {
        std::string text;
        for (uint32_t index = olderFiles + 2; index-- > 0;) text += Contents(RotatedName(name, index));
        return text;
    }

    test::ScratchDirectory dir_;
    OutputSettings settings_;
    LocalDateTime today_{2026, 12, 9, {}};
    TRotationRetries::Clock::time_point now_ = TRotationRetries::Clock::now();
    TFileOutput file_{settings_, [this] { return today_; }, [this] { return now_; }};
};

TEST_F(FileOutputTest, CreatesAMissingFile) {
    UseFile("new.txt");
    Line("one");
    file_.CloseOutputFile();
    EXPECT_EQ(Contents("new.txt"), "one\r\n");
}

TEST_F(FileOutputTest, AppendsToExistingFile) {
    std::string existing;
    for (int i = 1; i <= 10; ++i) existing += "old " + std::to_string(i) + "\r\n";
    test::WriteWholeFile(dir_.PathOf("log.txt"), existing);
    UseFile("log.txt");
    Line("new 1");
    Line("new 2");
    file_.CloseOutputFile();
    EXPECT_EQ(Contents("log.txt"), existing + "new 1\r\nnew 2\r\n");
}

TEST_F(FileOutputTest, CutsAtTheFirstEndOfFileMarkerOfTheLast128Bytes) {
    const std::pair<std::string, std::string> rows[] = {
        {"kept\r\n\x1A\x1Agone\x1A", "kept\r\n"},
        // The cut is at the marker's place in the whole file.
        {std::string(200, 'b') + "\x1Azz", std::string(200, 'b')},
        // Exactly the last 128 bytes are looked at.
        {"a\x1A" + std::string(127, 'b'), "a"},
        {"a\x1A" + std::string(128, 'b'), "a\x1A" + std::string(128, 'b')},
    };
    UseFile("log.txt");
    for (const auto& [existing, kept] : rows) {
        test::WriteWholeFile(dir_.PathOf("log.txt"), existing);
        Line("next");
        file_.CloseOutputFile();
        EXPECT_EQ(Contents("log.txt"), kept + "next\r\n") << testing::PrintToString(existing);
    }
}

TEST_F(FileOutputTest, BufferedLineReachesDiskOnlyAtClose) {
    UseFile("log.txt");
    Line("short");
    EXPECT_TRUE(file_.OutputFileOpen());
    EXPECT_EQ(Contents("log.txt"), "");
    file_.CloseOutputFile();
    EXPECT_FALSE(file_.OutputFileOpen());
    EXPECT_EQ(Contents("log.txt"), "short\r\n");
}

TEST_F(FileOutputTest, FullBuffersGoToDiskIn128ByteChunks) {
    UseFile("log.txt");
    Line(std::string(200, 'x'));
    EXPECT_EQ(Contents("log.txt"), std::string(128, 'x'));
    file_.CloseOutputFile();
    EXPECT_EQ(Contents("log.txt"), std::string(200, 'x') + "\r\n");
}

// After each entry the file holds every whole 128 bytes and fewer than 128
// wait, however large the entry; the gathering of a large entry's buffers
// must neither lose nor repeat a byte.
TEST_F(FileOutputTest, AfterEachEntryOnlyTheLastPartial128BytesWait) {
    UseFile("log.txt");
    std::string expected;
    for (const size_t lines : {3u, 40u, 20000u}) {
        std::vector<std::string> entries;
        for (size_t i = 0; i < lines; ++i) entries.push_back("entry " + std::to_string(i));
        file_.WriteBlock(TraceBlock{"block of " + std::to_string(lines), "  ", entries});
        expected += "block of " + std::to_string(lines) + "\r\n";
        for (const auto& entry : entries) expected += "  " + entry + "\r\n";
        EXPECT_EQ(Contents("log.txt"), expected.substr(0, expected.size() - expected.size() % 128)) << lines;
    }
    file_.CloseOutputFile();
    EXPECT_EQ(Contents("log.txt"), expected);
}

// A batch's whole buffers wait for its end, unless memory would grow without
// bound; a file closed after every entry is closed at the batch's end.
TEST_F(FileOutputTest, InABatchWholeBuffersWaitForItsEndOrForABoundOfMemory) {
    UseFile("log.txt");
    const std::string big(TFileOutput::kMaxGathered, 'z');
    file_.GatherBatch(true);
    Line(std::string(200, 'x'));
    EXPECT_EQ(Contents("log.txt"), "");
    Line(big);
    EXPECT_EQ(Contents("log.txt").size(), (202 + big.size()) / 128 * 128);
    settings_.FlushOutputFile = true;
    Line("a");
    EXPECT_TRUE(file_.OutputFileOpen());
    file_.GatherBatch(false);
    EXPECT_FALSE(file_.OutputFileOpen());
    EXPECT_EQ(Contents("log.txt"), std::string(200, 'x') + "\r\n" + big + "\r\na\r\n");
}

TEST_F(FileOutputTest, FlushOutputFileClosesAfterEveryEntry) {
    settings_.FlushOutputFile = true;
    UseFile("log.txt");
    Line("first");
    EXPECT_FALSE(file_.OutputFileOpen());
    EXPECT_EQ(Contents("log.txt"), "first\r\n");
    // Closed in between: another program may move it away.
    std::filesystem::rename(dir_.PathOf("log.txt"), dir_.PathOf("moved.txt"));
    const std::vector<std::string> entries{"a", "b"};
    file_.WriteBlock(TraceBlock{"block", "  ", entries});
    EXPECT_FALSE(file_.OutputFileOpen());
    EXPECT_EQ(Contents("log.txt"), "block\r\n  a\r\n  b\r\n");
    EXPECT_EQ(Contents("moved.txt"), "first\r\n");
}

TEST_F(FileOutputTest, TwoSessionNamesAlternate) {
    settings_.Filename = dir_.PathOf("%PROJECT%.txt");
    const SessionNaming a{"A", "", "", "", 0};
    const SessionNaming b{"B", "", "", "", 0};
    Line("a1", &a);
    Line("b1", &b);
    EXPECT_EQ(Contents("A.txt"), "a1\r\n");
    EXPECT_EQ(file_.CurrentFileName(), dir_.PathOf("B.txt"));
    Line("a2", &a);
    EXPECT_EQ(Contents("B.txt"), "b1\r\n");
    file_.CloseOutputFile();
    EXPECT_EQ(Contents("A.txt"), "a1\r\na2\r\n");
}

TEST_F(FileOutputTest, NoticeWithoutSessionUsesTheTemplateAsItIs) {
    settings_.Filename = dir_.PathOf("%PROJECT%.txt");
    Line("Norvale Starting Up");
    file_.CloseOutputFile();
    EXPECT_EQ(Contents("%PROJECT%.txt"), "Norvale Starting Up\r\n");
}

TEST_F(FileOutputTest, NameCutTo259CharactersStaysOpenBetweenEntries) {
    const std::string folder = dir_.PathOf("");
    const std::string cut = folder + std::string(259 - folder.size(), 'n');
    settings_.Filename = cut + "beyond the cut";
    Line("one");
    Line("two");
    EXPECT_EQ(file_.CurrentFileName(), cut);
    // Both lines still wait in the buffer: the second entry found the file
    // open under its cut name.
    EXPECT_EQ(test::ReadWholeFile(cut), "");
    file_.CloseOutputFile();
    EXPECT_EQ(test::ReadWholeFile(cut), "one\r\ntwo\r\n");
}

TEST_F(FileOutputTest, MissingDirectoryFailsNamingTheFileAndTheSystemError) {
    // Windows says "The system cannot find the path specified. (3)"; Wine
    // and POSIX have texts of their own for the same code.
#ifdef _WIN32
    settings_.Filename = "c:\\nodir\\x.txt";
    const uint32_t code = ERROR_PATH_NOT_FOUND;
#else
    settings_.Filename = dir_.PathOf("nodir/x.txt");
    const uint32_t code = ENOENT;
#endif
    const std::string expected = "cannot open output file \"" + settings_.Filename + "\": " + SystemErrorText(code);
    try {
        Line("lost");
        FAIL() << "opened a file in a missing directory";
    } catch (const EInOutError& error) {
        EXPECT_EQ(std::string(error.what()), expected);
    }
    EXPECT_FALSE(file_.OutputFileOpen());
    EXPECT_EQ(file_.Problem(), "Output file failures: 1, the latest: " + expected);
    // The next entry tries again from the start.
    UseFile("log.txt");
    Line("next");
    file_.CloseOutputFile();
    EXPECT_EQ(Contents("log.txt"), "next\r\n");
}

// Said until the name that failed opens, another name's open clearing nothing.
TEST_F(FileOutputTest, FailedOpensAreCountedAndShownUntilThatNameOpens) {
    settings_.Filename = dir_.PathOf("%PROJECT%/x.txt");
    const SessionNaming missing{"missing", "", "", "", 0}, there{"there", "", "", "", 0};
    std::filesystem::create_directory(dir_.PathOf("there"));
    for (int i = 0; i < 2; ++i) EXPECT_THROW(Line("lost", &missing), EInOutError);
    const std::string problem = file_.Problem();
    EXPECT_TRUE(problem.starts_with("Output file failures: 2, the latest: cannot open")) << problem;
    Line("kept", &there);
    EXPECT_EQ(file_.Problem(), problem);
    std::filesystem::create_directory(dir_.PathOf("missing"));
    Line("found", &missing);
    EXPECT_EQ(file_.Problem(), "");
}

// With the file N bytes short of the bound, a line of N - 2 characters and
// its CR LF fill it exactly, and one of N - 1 starts the next file.
TEST_F(FileOutputTest, ALinesLineEndCountsAgainstTheBound) {
    Rotate(1, false, 0);
    for (const size_t length : {98u, 99u}) {
        const std::string name = "r" + std::to_string(length) + ".txt", before(1024 * 1024 - 100, 'o');
        test::WriteWholeFile(dir_.PathOf(name), before);
        UseFile(name);
        const std::string line = std::string(length, 'n') + "\r\n";
        Line(line.substr(0, length));
        file_.CloseOutputFile();
        EXPECT_EQ(Chain(name, 1), before + line) << length;
        EXPECT_EQ(Contents(name), length == 98 ? before + line : line) << length;
    }
}

// Side by side, a project "app.1" writes to "app_1.log", which the rotation
// of "app" never takes.
TEST_F(FileOutputTest, ExpandedNamesRotateSideBySideWithoutTakingEachOthersFiles) {
    settings_.Filename = dir_.PathOf("%PROJECT%.log");
    Rotate(1, false, 0);
    const SessionNaming app{"app", "", "", "", 0}, app1{"app.1", "", "", "", 0};
    std::string sent[2];
    for (int i = 0; i < 5000; ++i) {
        Line(std::to_string(i) + std::string(1000, 'x'), i % 2 ? &app1 : &app);
        sent[i % 2] += std::to_string(i) + std::string(1000, 'x') + "\r\n";
    }
    file_.CloseOutputFile();
    EXPECT_TRUE(Chain("app.log", 2) == sent[0] && Chain("app_1.log", 2) == sent[1]);
}

// An older file that must go and cannot (a folder) holds a new day's
// rotation: the day's lines go on in the file until the next try, a second
// later.
TEST_F(FileOutputTest, ADaysRotationSomethingBlockedIsTriedAgainASecondLaterAndTheStatusClears) {
    UseFile("trace.txt");
    Rotate(0, true, 1);
    Line("day 1");
    std::filesystem::create_directories(dir_.PathOf("trace.1.txt/in the way"));
    ++today_.day;
    Line("blocked");
    const std::string problem = file_.Problem();
    EXPECT_TRUE(problem.find("is written on, not rotated: cannot delete") != std::string::npos) << problem;
    std::filesystem::remove_all(dir_.PathOf("trace.1.txt"));
    now_ += TRotationRetries::kPause - std::chrono::milliseconds(1);
    Line("paused");
    EXPECT_EQ(file_.Problem(), problem);
    now_ += std::chrono::milliseconds(1);
    Line("next");
    EXPECT_EQ(file_.Problem(), "");
    file_.CloseOutputFile();
    EXPECT_EQ(Chain("trace.txt", 1), "day 1\r\nblocked\r\npaused\r\nnext\r\n");
    EXPECT_EQ(Contents("trace.txt"), "next\r\n");
}

#ifdef _WIN32
// A program holding the file for writing without letting others read it: the
// file can be neither appended to nor replaced, and what it holds stays.
TEST_F(FileOutputTest, FileThatCannotBeAppendedToIsNeverReplaced) {
    test::WriteWholeFile(dir_.PathOf("held.txt"), "precious\r\n");
    UniqueFile holder(CreateFileA(dir_.PathOf("held.txt").c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    UseFile("held.txt");
    try {
        Line("x");
        FAIL() << "opened a file held by another writer";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.ErrorCode(), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    }
    holder.reset();
    EXPECT_EQ(Contents("held.txt"), "precious\r\n");
}

TEST_F(FileOutputTest, OpenFileIsSharedForReadingOnly) {
    UseFile("log.txt");
    Line("x");
    UniqueFile reader;
    EXPECT_EQ(FileOpenForReading(dir_.PathOf("log.txt"), reader), 0u);
    UniqueFile writer(CreateFileA(dir_.PathOf("log.txt").c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    file_.CloseOutputFile();
}
#endif

}  // namespace
}  // namespace norvale
