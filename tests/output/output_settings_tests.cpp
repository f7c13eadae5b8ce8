// Reading the settings runs on the in-memory store natively and on the real
// registry under Wine.

#include <gtest/gtest.h>

#include "output/output_stage.h"
#include "tests_support/recording_outputs.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

struct FlagValue {
    const char* name;
    bool OutputSettings::*member;
};

constexpr FlagValue kFlags[] = {
    {"ToClients", &OutputSettings::ToClients},
    {"ToConsole", &OutputSettings::ToConsole},
    {"ToMono", &OutputSettings::ToMono},
    {"ToFile", &OutputSettings::ToFile},
    {"ToCodeSite", &OutputSettings::ToCodeSite},
    {"IncludeDateTime", &OutputSettings::IncludeDateTime},
    {"IncludeProject", &OutputSettings::IncludeProject},
    {"IncludeModule", &OutputSettings::IncludeModule},
    {"IncludeClass", &OutputSettings::IncludeClass},
    {"IncludeMachine", &OutputSettings::IncludeMachine},
    {"IncludeProcess", &OutputSettings::IncludeProcess},
    {"IncludeThread", &OutputSettings::IncludeThread},
    {"IncludeCode", &OutputSettings::IncludeCode},
    {"FlushOutputFile", &OutputSettings::FlushOutputFile},
};

// Every flag off but the one named, if any.
void ExpectOnlyFlagOn(const OutputSettings& settings, std::string_view on = {}) {
    for (const auto& flag : kFlags) EXPECT_EQ(settings.*flag.member, on == flag.name) << flag.name;
}

TEST(OutputSettingsTest, NoKeyGivesTheDefaults) {
    test::ScratchSettings key;
    const OutputSettings settings = ReadOutputSettings(key.Location());
    ExpectOnlyFlagOn(settings);
    EXPECT_EQ(settings.Filename, "c:\\Debug.txt");
}

// One value stored at a time, so that two crossed names cannot hide.
TEST(OutputSettingsTest, EachValueIsReadUnderItsOwnName) {
    for (const auto& stored : kFlags) {
        SCOPED_TRACE(stored.name);
        test::ScratchSettings key;
        key.Set(stored.name, "1");
        const OutputSettings settings = ReadOutputSettings(key.Location());
        ExpectOnlyFlagOn(settings, stored.name);
        EXPECT_EQ(settings.Filename, "c:\\Debug.txt");
    }
    test::ScratchSettings key;
    key.Set("Filename", "d:\\t\\%PROJECT%.log");
    const OutputSettings settings = ReadOutputSettings(key.Location());
    ExpectOnlyFlagOn(settings);
    EXPECT_EQ(settings.Filename, "d:\\t\\%PROJECT%.log");
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
