// What the tray decides: the menu's states for every combination of what the
// server is doing, the tip's length, the mouse messages it answers.

#include <gtest/gtest.h>

#include "shell/tray_icon_model.h"
#include "shell/tray_menu_state.h"

namespace norvale {
namespace {

TEST(TrayMenuStateTest, EveryCombination) {
    // sessions, dialog up, server exists, file open -> Close, its caption,
    // Properties/About/Show debug window, Flush.
    struct Row {
        int32_t sessions;
        bool dialog, server, fileOpen;
        bool close;
        const char* caption;
        bool dialogs, flush;
    };
    const Row rows[] = {
        {0, false, false, false, true, "Close", true, false},
        {0, false, true, false, true, "Close", true, false},
        {0, false, true, true, true, "Close", true, true},
        {0, true, true, true, false, "Close", false, true},
        {0, true, false, false, false, "Close", false, false},
        {1, false, true, true, false, "Close (Sessions open!)", true, true},
        {1, false, true, false, false, "Close (Sessions open!)", true, false},
        {1, true, true, true, false, "Close (Sessions open!)", false, true},
        {3, true, false, false, false, "Close (Sessions open!)", false, false},
        // A file can only be open on a live server object.
        {0, false, false, true, true, "Close", true, false},
    };
    for (const auto& row : rows) {
        const TrayMenuState expected{row.close, row.caption, row.dialogs, row.dialogs, row.dialogs, row.flush};
        EXPECT_EQ(ComputeTrayMenuState(row.sessions, row.dialog, row.server, row.fileOpen), expected)
            << row.sessions << " sessions, dialog " << row.dialog << ", server " << row.server << ", file "
            << row.fileOpen;
    }
}

TEST(TrayIconModelTest, ToolTipIsCutTo62Characters) {
    EXPECT_EQ(CutToolTip("Norvale"), "Norvale");
    EXPECT_EQ(CutToolTip(std::string(62, 'x')), std::string(62, 'x'));
    EXPECT_EQ(CutToolTip(std::string(61, 'x') + "yz"), std::string(61, 'x') + "y");
    EXPECT_EQ(CutToolTip(""), "");
}

TEST(TrayIconModelTest, ViewerLossesShowOnceThereAreAny) {
    const struct {
        uint64_t undelivered;
        const char *loss, *tip;
    } rows[] = {
        {0, "", "Norvale"},
        {1, "1 viewer record not delivered", "Norvale\n1 viewer record not delivered"},
        {12, "12 viewer records not delivered", "Norvale\n12 viewer records not delivered"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ViewerLossText(row.undelivered), row.loss);
        EXPECT_EQ(TrayToolTip(row.undelivered), row.tip);
    }
    // Even the largest count fits the tip whole.
    EXPECT_EQ(CutToolTip(TrayToolTip(UINT64_MAX)), TrayToolTip(UINT64_MAX));
}

TEST(TrayIconModelTest, AnswersThreeMouseMessages) {
    EXPECT_EQ(TrayMouseEventOf(0x202), TrayMouseEvent::Click);
    EXPECT_EQ(TrayMouseEventOf(0x203), TrayMouseEvent::DoubleClick);
    EXPECT_EQ(TrayMouseEventOf(0x205), TrayMouseEvent::RightClick);
    for (uint32_t ignored : {0x200u, 0x201u, 0x204u, 0x206u, 0x207u, 0x400u}) {
        EXPECT_EQ(TrayMouseEventOf(ignored), TrayMouseEvent::None) << ignored;
    }
}

}  // namespace
}  // namespace norvale
