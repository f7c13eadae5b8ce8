// The monochrome screen of a real server, read by this client process from
// the virtual adapter's mapping as a viewer reads it.

#include <gtest/gtest.h>

#include "common/win32_resources.h"
#include "output/mono_adapter_layout.h"
#include "tests/com/com_support.h"
#include "tests/output/mono_cells.h"

namespace norvale {
namespace {

using namespace monoadapter;
using Rows = std::vector<std::string>;

// The server's screen as another process sees it.
class ScreenView {
public:
    ScreenView()
        : mapping_(OpenFileMappingA(FILE_MAP_READ, FALSE, kMappingName)),
          view_(mapping_ ? static_cast<const uint8_t*>(MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, kMappingSize))
                         : nullptr) {}
    ~ScreenView() {
        if (view_ != nullptr) UnmapViewOfFile(view_);
    }
    bool Open() const { return view_ != nullptr; }
    Rows TopRows(size_t count) const {
        Rows rows;
        for (size_t row = 0; row < count; ++row) rows.push_back(test::RowText({view_, kCellBytes}, row));
        return rows;
    }
    uint8_t Register(uint8_t index) const { return view_[kCrtRegistersOffset + index]; }

private:
    UniqueHandle mapping_;
    const uint8_t* view_;
};

const std::string kBannerRow0 = std::string("brantwick Norvale ") + NORVALE_VERSION_TEXT;
const std::string kBannerRow1 = "running Windows NT 6.1.7601 (Service Pack 1)";

TEST(MonoScreenServerTest, LinesBannerAndRefreshes) {
    test::OutputSetup output({"ToMono"});
    ComPtr<INorvale> norvale = test::ActivateNorvale();
    ASSERT_TRUE(norvale);
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"first")), S_OK);

    const ScreenView screen;
    ASSERT_TRUE(screen.Open());
    EXPECT_EQ(screen.Register(kCursorStartRegister), 0x10);
    EXPECT_EQ(screen.Register(kCursorEndRegister), 0x10);
    const Rows started = {kBannerRow0, kBannerRow1, "", "Norvale Starting Up", "Session opened.", "first", ""};
    EXPECT_EQ(screen.TopRows(7), started);

    // On while on: no new banner.
    ASSERT_EQ(norvale->RefreshProperties(), S_OK);
    EXPECT_EQ(screen.TopRows(7), started);

    // Off: the screen keeps what it shows and gets nothing more.
    output.Set("ToMono", "0");
    ASSERT_EQ(norvale->RefreshProperties(), S_OK);
    ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"while off")), S_OK);
    EXPECT_EQ(screen.TopRows(7), started);

    // On again: a cleared screen with a new banner.
    output.Set("ToMono", "1");
    ASSERT_EQ(norvale->RefreshProperties(), S_OK);
    ASSERT_EQ(session->AddMessage(0, 0, test::Bstr(L"again")), S_OK);
    EXPECT_EQ(screen.TopRows(7), (Rows{kBannerRow0, kBannerRow1, "", "again", "", "", ""}));
}

}  // namespace
}  // namespace norvale
