// The output file's rotation with real clients and files: a real server
// cutting 10 MiB into its newest four files, and in the test process a reader
// in the way and a day changed through the server's clock.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/file_io.h"
#include "common/system_error.h"
#include "config/options_settings.h"
#include "config/registry_values.h"
#include "tests/com/com_support.h"
#include "tests/com/in_process_host.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

using Lines = std::vector<std::string>;

Lines LinesOf(const std::string& path) {
    Lines lines;
    const std::string text = test::ReadWholeFile(path);
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// `trace.N.txt` … `trace.txt`, oldest first.
Lines JoinedLines(const std::string& name, uint32_t olderFiles) {
    Lines joined;
    for (uint32_t index = olderFiles + 1; index-- > 0;) {
        const Lines lines = LinesOf(RotatedName(name, index));
        joined.insert(joined.end(), lines.begin(), lines.end());
    }
    return joined;
}

std::wstring Numbered(int number) {
    return std::to_wstring(number) + L" " + std::wstring(1000, L'x');
}

std::string NumberedLine(int number) {
    return std::to_string(number) + " " + std::string(1000, 'x');
}

TEST(FileRotationServerTest, TenMebibytesWithFileMaxMB1AndFileKeep3LeaveTheNewestEntriesInFourFiles) {
    constexpr int kEntries = 10 * 1024;
    test::OutputSetup output({});
    output.Set("FlushOutputFile", "0");
    struct RotationOptions {
        RotationOptions() {
            WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, kFileMaxMBValue, "1");
            WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, kFileKeepValue, "3");
        }
        ~RotationOptions() { RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey); }
    } options;
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        ComPtr<IDebugSession> session;
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
        for (int i = 0; i < kEntries; ++i) ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(Numbered(i))), S_OK) << i;
        ASSERT_EQ(session->CloseSession(), S_OK);
    }
    const std::string name = output.FilePath();
    ASSERT_FALSE(test::FileExists(RotatedName(name, 4)));
    const Lines joined = JoinedLines(name, 3);
    ASSERT_GT(joined.size(), 3u * 1024);
    Lines written{"Norvale Starting Up", "Session opened."};
    for (int i = 0; i < kEntries; ++i) written.push_back(NumberedLine(i));
    written.insert(written.end(), {"Session closed.", "Norvale Shutting Down"});
    EXPECT_TRUE(std::equal(joined.begin(), joined.end(), written.end() - static_cast<ptrdiff_t>(joined.size())))
        << "the files' " << joined.size() << " lines are not the newest written, in order; the first is "
        << joined.front().substr(0, 10);
}

class FileRotationInProcessTest : public test::InProcessHost {
protected:
    FileRotationInProcessTest() {
        settings_.Set("Filename", name_);
        settings_.SetFlag("ToFile", true);
    }
    void Send(IDebugSession* session, int first, int count) {
        for (int i = first; i < first + count; ++i) {
            ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(Numbered(i))), S_OK) << i;
        }
    }

    test::ScratchDirectory dir_;
    const std::string name_ = dir_.PathOf("trace.txt");
};

// Without delete sharing the reader keeps the file from being renamed: the
// entries go on into it, and the first entry a second after the reader left
// rotates it.
TEST_F(FileRotationInProcessTest, AReaderWithoutDeleteSharingHoldsTheFileAndNothingIsLost) {
    recorders_.options.Set(kFileMaxMBValue, "1");
    ComPtr<INorvale> norvale = Activate();
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    Send(session.get(), 0, 1000);
    UniqueFile reader(CreateFileA(name_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader) << GetLastError();
    Send(session.get(), 1000, 100);
    EXPECT_FALSE(test::FileExists(RotatedName(name_, 1)));
    EXPECT_EQ(stage_.FileProblem(), "The output file \"" + name_ + "\" is written on, not rotated: cannot rename \"" +
                                        name_ + "\": " + SystemErrorText(ERROR_SHARING_VIOLATION));
    reader.reset();
    // The retry's pause, from the last failed try.
    std::this_thread::sleep_for(TRotationRetries::kPause);
    Send(session.get(), 1100, 1);
    EXPECT_EQ(stage_.FileProblem(), "");
    ASSERT_EQ(session->CloseSession(), S_OK);
    EXPECT_EQ(LinesOf(name_), (Lines{NumberedLine(1100), "Session closed."}));
    Lines written{"Norvale Starting Up", "Session opened."};
    for (int i = 0; i <= 1100; ++i) written.push_back(NumberedLine(i));
    written.push_back("Session closed.");
    EXPECT_TRUE(JoinedLines(name_, 1) == written);
}

TEST_F(FileRotationInProcessTest, TheFirstEntryOfANewDayByTheServersClockBeginsANewFile) {
    recorders_.options.SetFlag("FileDaily", true);
    ComPtr<INorvale> norvale = Activate();
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    Send(session.get(), 0, 1);
    ++today_.day;
    Send(session.get(), 1, 2);
    ASSERT_EQ(session->CloseSession(), S_OK);
    EXPECT_EQ(LinesOf(RotatedName(name_, 1)), (Lines{"Norvale Starting Up", "Session opened.", NumberedLine(0)}));
    EXPECT_EQ(LinesOf(name_), (Lines{NumberedLine(1), NumberedLine(2), "Session closed."}));
}

}  // namespace
}  // namespace norvale
