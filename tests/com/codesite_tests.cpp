// The viewer output from a real client through the real server: what each
// call sends to the viewer, under either of its window titles.

#include <gtest/gtest.h>

#include "tests/com/com_support.h"
#include "tests_support/test_viewer_client.h"

namespace norvale {
namespace {

TEST(CodeSiteServerTest, ClientCallsArriveAsRecordsUnderEitherTitle) {
    for (const test::ViewerWindow& window : {test::kMainViewer, test::kSatellite}) {
        test::OutputSetup output({"ToCodeSite"});
        test::ScratchDirectory dir;
        test::TestViewer viewer(dir, window);
        ASSERT_NE(viewer.Window(), nullptr) << window.title << ": no test viewer window within 20 s";
        {
            ComPtr<INorvale> norvale = test::ActivateNorvale();
            ASSERT_TRUE(norvale);
            ComPtr<IDebugSession> session;
            ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
            EXPECT_EQ(session->AddMessage(0, 1, test::Bstr(L"one")), S_OK);
            EXPECT_EQ(session->EnterMethod(0, test::Bstr(L"Run")), S_OK);
            EXPECT_EQ(session->ExitMethod(0, test::Bstr(L"Run")), S_OK);
            EXPECT_EQ(session->AddStrings(0, 0, test::Bstr(L"lines"), test::Bstr(L"a\r\nb")), S_OK);
            EXPECT_EQ(session->CloseSession(), S_OK);
        }
        ASSERT_TRUE(test::WaitUntil([&] { return viewer.Log().records.size() >= 8; }, test::milliseconds(20000)))
            << window.title << ": 8 records did not arrive within 20 s";
        std::vector<std::string> seen;
        for (const auto& record : viewer.Log().records) {
            seen.push_back(std::to_string(record.data) + " " + test::TextOf(record));
        }
        EXPECT_EQ(seen, (std::vector<std::string>{"8 Norvale Starting Up", "8 Session opened.", "1 one", "9 Run",
                                                  "10 Run", "6 linesa\r\nb\r\n", "8 Session closed.",
                                                  "8 Norvale Shutting Down"}))
            << window.title;
    }
}

}  // namespace
}  // namespace norvale
