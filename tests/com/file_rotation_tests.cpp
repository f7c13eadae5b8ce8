// The output file's rotation and names with real clients and files: a real
// server, then in the test process a reader in the way and the server's clock.

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "common/system_error.h"
#include "config/registry_values.h"
#include "tests/com/in_process_host.h"

namespace norvale {
namespace {

// `NAME.N.EXT` … `NAME.EXT`, oldest first.
std::string Joined(const std::string& name, uint32_t olderFiles) {
    std::string text;
    for (uint32_t index = olderFiles + 1; index-- > 0;) text += test::ReadWholeFile(RotatedName(name, index));
    return text;
}

std::string Numbered(int number) { return std::to_string(number) + std::string(1000, 'x'); }

void Send(IDebugSession* session, int first, int last, std::string& sent) {
    for (int i = first; i <= last; ++i) {
        const std::string text = Numbered(i);
        ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(std::wstring(text.begin(), text.end()))), S_OK) << i;
        sent += text + "\r\n";
    }
}

// As a viewer may hold a file: neither renamed nor deleted while it reads.
UniqueFile HeldWithoutDeleteSharing(const std::string& path) {
    UniqueFile held(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(held) << path << ": " << GetLastError();
    return held;
}

TEST(FileRotationServerTest, TenMebibytesWithFileMaxMB1AndFileKeep3LeaveTheNewestEntriesInFourFiles) {
    test::OutputSetup output({});
    output.Set("FlushOutputFile", "0");
    const char* options = OptionsLocation::kOptionsSettingsKey;
    const struct Defaults {
        ~Defaults() { RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey); }
    } defaults;
    WriteRegString(RegCurrentUser(), options, kFileMaxMBValue, "1");
    WriteRegString(RegCurrentUser(), options, kFileKeepValue, "3");
    std::string sent = "Norvale Starting Up\r\nSession opened.\r\n";
    {
        ComPtr<INorvale> norvale = test::ActivateNorvale();
        ASSERT_TRUE(norvale);
        ComPtr<IDebugSession> session;
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
        Send(session.get(), 0, 10 * 1024 - 1, sent);
        ASSERT_EQ(session->CloseSession(), S_OK);
    }
    sent += "Session closed.\r\nNorvale Shutting Down\r\n";
    const std::string joined = Joined(output.FilePath(), 3);
    EXPECT_FALSE(test::FileExists(RotatedName(output.FilePath(), 4)));
    ASSERT_GT(joined.size(), 3u << 20);
    EXPECT_TRUE(sent.ends_with(joined) && sent[sent.size() - joined.size() - 1] == '\n')
        << joined.size() << " bytes beginning " << joined.substr(0, 10);
}

class FileRotationInProcessTest : public test::InProcessHost {
protected:
    void SetUp() override {
        settings_.Set("Filename", name_);
        settings_.SetFlag("ToFile", true);
    }
    void Open(const char* option, const char* value) {
        recorders_.options.Set(option, value);
        norvale_ = Activate();
        ASSERT_EQ(norvale_->OpenSession(test::Bstr(L"P"), session_.put()), S_OK);
    }

    test::ScratchDirectory dir_;
    const std::string name_ = dir_.PathOf("trace.txt");
    std::string sent_ = "Norvale Starting Up\r\nSession opened.\r\n";
    ComPtr<INorvale> norvale_;
    ComPtr<IDebugSession> session_;
};

TEST_F(FileRotationInProcessTest, AReaderWithoutDeleteSharingHoldsTheFileAndNothingIsLost) {
    Open(kFileMaxMBValue, "1");
    Send(session_.get(), 0, 999, sent_);
    UniqueFile reader = HeldWithoutDeleteSharing(name_);
    Send(session_.get(), 1000, 1099, sent_);
    EXPECT_FALSE(test::FileExists(RotatedName(name_, 1)));
    EXPECT_EQ(stage_.FileProblem(), "The output file \"" + name_ + "\" is written on, not rotated: cannot rename \"" +
                                        name_ + "\": " + SystemErrorText(ERROR_SHARING_VIOLATION));
    reader.reset();
    // The pause before the next try, counted from the last one.
    std::this_thread::sleep_for(TRotationRetries::kPause);
    Send(session_.get(), 1100, 1100, sent_);
    EXPECT_EQ(stage_.FileProblem(), "");
    ASSERT_EQ(session_->CloseSession(), S_OK);
    EXPECT_EQ(test::ReadWholeFile(name_), Numbered(1100) + "\r\nSession closed.\r\n");
    EXPECT_TRUE(Joined(name_, 1) == sent_ + "Session closed.\r\n");
}

// The oldest file kept must go before the others move up; a leftover past
// the keep may stay, and goes at a later rotation.
TEST_F(FileRotationInProcessTest, AnOlderFileThatCannotBeDeletedHoldsTheRotationOnlyWhenItMustGo) {
    for (const uint32_t index : {1u, 2u}) test::WriteWholeFile(RotatedName(name_, index), "older\r\n");
    recorders_.options.Set(kFileKeepValue, "1");
    Open(kFileMaxMBValue, "1");
    UniqueFile leftover = HeldWithoutDeleteSharing(RotatedName(name_, 2));
    {
        const UniqueFile kept = HeldWithoutDeleteSharing(RotatedName(name_, 1));
        Send(session_.get(), 0, 1099, sent_);
        EXPECT_EQ(stage_.FileProblem(), "The output file \"" + name_ + "\" is written on, not rotated: cannot delete \"" +
                                            RotatedName(name_, 1) + "\": " + SystemErrorText(ERROR_SHARING_VIOLATION));
    }
    std::this_thread::sleep_for(TRotationRetries::kPause);
    Send(session_.get(), 1100, 1100, sent_);
    EXPECT_EQ(stage_.FileProblem(), "");
    EXPECT_TRUE(test::FileExists(RotatedName(name_, 2)));
    leftover.reset();
    std::string next;
    Send(session_.get(), 1101, 2200, next);
    EXPECT_FALSE(test::FileExists(RotatedName(name_, 2)));
    EXPECT_EQ(test::ReadWholeFile(RotatedName(name_, 1)).substr(0, 4), "1100");
}

// Windows reads "con.txt" as the console device "CON", which is no file of
// the folder: a session's module "con" writes to "_con.txt", and nothing fails.
TEST_F(FileRotationInProcessTest, AModuleNamedLikeADeviceWritesToAFileOfTheFolder) {
    settings_.Set("Filename", dir_.PathOf("%MODULE%.txt"));
    norvale_ = Activate();
    ComPtr<IDebugSession> con;
    ASSERT_EQ(norvale_->OpenSessionEx(test::Bstr(L"P"), test::Bstr(L"con"), test::Bstr(L""), test::Bstr(L""), 1,
                                      con.put()),
              S_OK);
    ASSERT_EQ(con->AddMessage(0, 0, test::Bstr(L"to a file")), S_OK);
    ASSERT_EQ(con->CloseSession(), S_OK);
    EXPECT_EQ(test::ReadWholeFile(dir_.PathOf("_con.txt")), "Session opened.\r\nto a file\r\nSession closed.\r\n");
    EXPECT_EQ(stage_.FileProblem(), "");
}

// Each line closes the other session's file, which then opens again; P's file
// is left from a run of an earlier day.
TEST_F(FileRotationInProcessTest, TheFirstEntryOfANewDayByTheServersClockBeginsANewFileForEachExpandedName) {
    settings_.Set("Filename", dir_.PathOf("%PROJECT%.txt"));
    test::WriteWholeFile(dir_.PathOf("P.txt"), "last run\r\n");
    std::filesystem::last_write_time(dir_.PathOf("P.txt"),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
    Open("FileDaily", "1");
    ComPtr<IDebugSession> q;
    ASSERT_EQ(norvale_->OpenSession(test::Bstr(L"Q"), q.put()), S_OK);
    std::string p0 = "Session opened.\r\n", q0 = p0, p1, q1;
    Send(session_.get(), 0, 0, p0);
    Send(q.get(), 1, 1, q0);
    ++today_.day;
    Send(session_.get(), 2, 2, p1);
    Send(q.get(), 3, 3, q1);
    ASSERT_EQ(session_->CloseSession(), S_OK);
    for (const auto& [name, text] : {std::pair{"P.2.txt", std::string("last run\r\n")}, {"P.1.txt", p0},
                                     {"P.txt", p1 + "Session closed.\r\n"}, {"Q.1.txt", q0}, {"Q.txt", q1}}) {
        EXPECT_EQ(test::ReadWholeFile(dir_.PathOf(name)), text) << name;
    }
}

}  // namespace
}  // namespace norvale
