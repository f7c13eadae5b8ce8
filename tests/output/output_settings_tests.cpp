// Reading the settings runs on the in-memory store natively and on the real
// registry under Wine.

#include <gtest/gtest.h>

#include "output/output_stage.h"
#include "tests_support/recording_outputs.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

TEST(OutputSettingsTest, NoKeyGivesTheDefaults) {
    test::ScratchSettings key;
    const OutputSettings settings = ReadOutputSettings(key.Location());
    EXPECT_FALSE(settings.AnyOutput());
    EXPECT_FALSE(settings.ToClients);
    EXPECT_EQ(settings.Filename, "c:\\Debug.txt");
    EXPECT_FALSE(settings.IncludeDateTime || settings.IncludeProject || settings.IncludeModule ||
                 settings.IncludeClass || settings.IncludeMachine || settings.IncludeProcess ||
                 settings.IncludeThread || settings.IncludeCode || settings.FlushOutputFile);
}

TEST(OutputSettingsTest, EveryValueIsReadUnderItsName) {
    const char* flags[] = {"ToClients",       "ToConsole",      "ToMono",         "ToFile",
                           "ToCodeSite",      "IncludeDateTime", "IncludeProject", "IncludeModule",
                           "IncludeClass",    "IncludeMachine", "IncludeProcess", "IncludeThread",
                           "IncludeCode",     "FlushOutputFile"};
    test::ScratchSettings key;
    for (const char* name : flags) key.Set(name, "Yes");
    key.Set("Filename", "d:\\t\\%PROJECT%.log");
    const OutputSettings s = ReadOutputSettings(key.Location());
    EXPECT_TRUE(s.ToClients && s.ToConsole && s.ToMono && s.ToFile && s.ToCodeSite && s.IncludeDateTime &&
                s.IncludeProject && s.IncludeModule && s.IncludeClass && s.IncludeMachine && s.IncludeProcess &&
                s.IncludeThread && s.IncludeCode && s.FlushOutputFile);
    EXPECT_EQ(s.Filename, "d:\\t\\%PROJECT%.log");
}

TEST(OutputSettingsTest, EmptyFilenameStaysEmpty) {
    test::ScratchSettings key;
    key.Set("Filename", "");
    EXPECT_EQ(ReadOutputSettings(key.Location()).Filename, "");
}

class RefreshTest : public testing::Test {
protected:
    TMutex lock_{"refresh test lock"};
    test::RecordingProcessOutputs recorders_;
    test::ScratchSettings key_;
    TOutputStage stage_{lock_, *recorders_.outputs, key_.Location()};
};

TEST_F(RefreshTest, NoKeyLeavesEveryOutputOffAndShowsNoBanner) {
    stage_.RefreshProperties();
    EXPECT_FALSE(stage_.Settings().AnyOutput());
    EXPECT_FALSE(recorders_.console->switchedOn);
    EXPECT_EQ(recorders_.screen->banners, 0);
}

TEST_F(RefreshTest, ScreenBannerOnlyWhenTheScreenTurnsOn) {
    key_.SetFlag("ToMono", true);
    stage_.RefreshProperties();
    stage_.RefreshProperties();
    EXPECT_EQ(recorders_.screen->banners, 1);
    key_.SetFlag("ToMono", false);
    stage_.RefreshProperties();
    key_.SetFlag("ToMono", true);
    stage_.RefreshProperties();
    EXPECT_EQ(recorders_.screen->banners, 2);
}

TEST_F(RefreshTest, UnavailableScreenReadsAsOffWhateverIsStored) {
    recorders_.screen->unavailable = true;
    key_.SetFlag("ToMono", true);
    stage_.RefreshProperties();
    EXPECT_FALSE(stage_.Settings().ToMono);
    EXPECT_EQ(recorders_.screen->banners, 0);
    EXPECT_FALSE(recorders_.outputs->MonoActive());
}

TEST_F(RefreshTest, ConsoleFollowsToConsole) {
    key_.SetFlag("ToConsole", true);
    stage_.RefreshProperties();
    EXPECT_TRUE(recorders_.console->switchedOn);
    key_.SetFlag("ToConsole", false);
    stage_.RefreshProperties();
    EXPECT_FALSE(recorders_.console->switchedOn);
}

TEST_F(RefreshTest, NumericRegistryTypeReadsAsDefault) {
    UniqueRegKey key;
    ASSERT_EQ(RegApiCreateKey(key_.Location().root, key_.Location().subkey, RegAccess::All, key.put()), 0);
    const uint32_t one = 1;
    ASSERT_EQ(RegApiSetValue(key.get(), "ToConsole", regcode::kTypeDword, reinterpret_cast<const uint8_t*>(&one), 4),
              0);
    stage_.RefreshProperties();
    EXPECT_FALSE(stage_.Settings().ToConsole);
}

}  // namespace
}  // namespace norvale
