// What the user's documentation (README.md, docs/clients.md, docs/settings.md)
// promises a client, checked against the real server: the README's five-line
// client and its lines, a message's own line breaks, characters outside the
// code page, a UTF-8 file, settings changed with `reg add` and read at the
// next RefreshProperties, and the file's buffer without FlushOutputFile.

#include <gtest/gtest.h>

#include <windows.h>

#include "common/ansi_text.h"
#include "common/utf8_text.h"
#include "config/options_settings.h"
#include "config/registry_values.h"
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

// The same names and message from a script and from a compiled client: the
// default file gets the code page's bytes, as it always did; with "UTF-8"
// the lines that follow are the client's exact text, the older ones stay.
TEST(DocsClaimsTest, AUtf8FileHoldsTheClientsExactTextAfterTheCodePagesOlderLines) {
    const char* options = OptionsLocation::kOptionsSettingsKey;
    struct DefaultOptions {
        explicit DefaultOptions(const char* key) : key(key) { RegApiDeleteTree(RegCurrentUser(), key); }
        ~DefaultOptions() { RegApiDeleteTree(RegCurrentUser(), key); }
        const char* key;
    } defaults(options);
    test::OutputSetup output({"IncludeProject", "IncludeModule", "IncludeClass"});
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    const std::wstring names = L"\u00dcbung \u041c\u043e\u0434 T\u4e2d ";
    const std::wstring text = L"Gr\u00fc\u00dfe \u2013 \u4e2d\u6587 \u2713 \U0001F600";
    const std::wstring session[] = {names + L"Session opened.", names + text, names + L"Session closed."};
    std::string expected = "Norvale Starting Up\r\n";
    for (const auto& convert : {WideToAnsi, WideToUtf8}) {
        if (convert == WideToUtf8) {
            WriteRegString(RegCurrentUser(), options, kFileEncodingValue, "UTF-8");
            ASSERT_EQ(norvale->RefreshProperties(), S_OK);
        }
        ASSERT_EQ(test::RunScript("unicode.js"), 0);
        ComPtr<IDebugSession> compiled;
        ASSERT_EQ(norvale->OpenClassSession(test::Bstr(L"\u00dcbung"), test::Bstr(L"\u041c\u043e\u0434"),
                                            test::Bstr(L"T\u4e2d"), compiled.put()),
                  S_OK);
        ASSERT_EQ(compiled->AddMessage(7, 0, test::Bstr(text)), S_OK);
        ASSERT_EQ(compiled->CloseSession(), S_OK);
        // The script's session, then the compiled client's.
        for (int client = 0; client < 6; ++client) expected += convert(session[client % 3]) + "\r\n";
        EXPECT_EQ(test::ReadWholeFile(output.FilePath()), expected);
    }
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
