// What the user's documentation (README.md, docs/clients.md, docs/settings.md)
// promises a client, checked against the real server: the README's five-line
// client and its lines, a message's own line breaks, characters outside the
// code page, settings changed with `reg add` and read at the next
// RefreshProperties, and the file's buffer without FlushOutputFile.

#include <gtest/gtest.h>

#include <windows.h>

#include "tests/com/com_support.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

using Lines = std::vector<std::string>;

// The README's client is examples/hello.vbs, word for word.
TEST(DocsClaimsTest, ReadmeClientWritesTheLinesTheReadmeShows) {
    test::OutputSetup output({"IncludeProject", "IncludeClass", "IncludeCode", "IncludeThread"});
    std::string printed;
    EXPECT_EQ(test::RunScript("hello.vbs", &printed), 0) << printed;
    EXPECT_EQ(output.LinesEndingWith("Norvale Shutting Down"),
              (Lines{"Norvale Starting Up", "Billing TInvoice 00000000 Session opened.",
                     "Billing TInvoice 00000000 00000007 Hello from VBScript",
                     "Billing TInvoice 00000000 00000007 -> Post", "Billing TInvoice 00000000 Session closed.",
                     "Norvale Shutting Down"}));
}

TEST(DocsClaimsTest, MessageLineBreaksAreWrittenAsTheyAre) {
    test::OutputSetup output({"IncludeProject"});
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"first\r\nsecond")), S_OK);
    ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"a\nb")), S_OK);
    const std::string file = test::ReadWholeFile(output.FilePath());
    const std::string tail = "P first\r\nsecond\r\nP a\nb\r\n";
    ASSERT_GE(file.size(), tail.size());
    EXPECT_EQ(file.substr(file.size() - tail.size()), tail);
    EXPECT_EQ(session->CloseSession(), S_OK);
}

TEST(DocsClaimsTest, CharactersOutsideTheCodePageArriveAsQuestionMarks) {
    const UINT codePage = GetACP();
    if (codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950) {
        GTEST_SKIP() << "code page " << codePage << " holds the test's character";
    }
    test::OutputSetup output({});
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"x\x4E2Dy")), S_OK);
    EXPECT_EQ(output.LastLine(), "x?y");
    EXPECT_EQ(session->CloseSession(), S_OK);
}

// A setting written by `reg add` (text with its terminating zero) reaches a
// running server at its next RefreshProperties, not before; a flag stored as
// REG_DWORD reads as its default, off.
TEST(DocsClaimsTest, RegAddReachesTheRunningServerAtItsNextRefresh) {
    test::OutputSetup output({});
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenClassSession(test::Bstr(L"P"), test::Bstr(L"M"), test::Bstr(L"TC"), session.put()), S_OK);
    ASSERT_EQ(test::RunProgram("reg add HKCU\\Software\\brantwick\\Norvale\\Output /v IncludeProject /t REG_SZ /d 1 /f"),
              0);
    ASSERT_EQ(test::RunProgram("reg add HKCU\\Software\\brantwick\\Norvale\\Output /v IncludeClass /t REG_DWORD /d 1 /f"),
              0);
    ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"before")), S_OK);
    EXPECT_EQ(output.LastLine(), "before");
    ASSERT_EQ(norvale->RefreshProperties(), S_OK);
    ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"after")), S_OK);
    EXPECT_EQ(output.LastLine(), "P after");
    EXPECT_EQ(session->CloseSession(), S_OK);
}

// Without FlushOutputFile a short line waits in the buffer; CloseSession
// writes it.
TEST(DocsClaimsTest, WithoutFlushOutputFileShortLinesWaitUntilTheNextClose) {
    test::OutputSetup output({});
    output.Set("FlushOutputFile", "0");
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"short")), S_OK);
    EXPECT_EQ(test::ReadWholeFile(output.FilePath()), "");
    ASSERT_EQ(session->CloseSession(), S_OK);
    EXPECT_EQ(output.Lines(), (Lines{"Norvale Starting Up", "Session opened.", "short", "Session closed."}));
}

}  // namespace
}  // namespace norvale
