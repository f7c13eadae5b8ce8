// The values of the properties dialog: what it reads from a missing or
// partial key, what it writes and how, and its session count.

#include <gtest/gtest.h>

#include "config/config_values.h"
#include "config/registry_values.h"
#include "tests_support/paths.h"

namespace norvale {
namespace {

class ConfigValuesTest : public testing::Test {
protected:
    void TearDown() override { RegApiDeleteTree(RegCurrentUser(), subkey_); }
    std::string subkey_ = "Software\\brantwick\\NorvaleTests\\" + test::UniqueTestName("config values");
};

TEST_F(ConfigValuesTest, AMissingKeyGivesEveryFlagOffAndTheDefaultFileName) {
    const ConfigValues values = LoadConfigValues(RegCurrentUser(), subkey_);
    for (bool flag : values.flags) EXPECT_FALSE(flag);
    EXPECT_EQ(values.fileName, "c:\\Debug.txt");
}

TEST_F(ConfigValuesTest, SavesAllFifteenValuesAsFlagTextsAndTheNameAsTyped) {
    ConfigValues values;
    values[ConfigFlag::ToFile] = true;
    values[ConfigFlag::IncludeProcess] = true;
    values[ConfigFlag::IncludeCode] = true;
    values.fileName = "  d:\\trace.txt ";
    SaveConfigValues(RegCurrentUser(), subkey_, values);
    const struct {
        const char* name;
        const char* text;
    } stored[] = {
        {"ToClients", "0"},       {"ToConsole", "0"},       {"ToMono", "0"},          {"ToFile", "1"},
        {"ToCodeSite", "0"},      {"Filename", "  d:\\trace.txt "},                    {"FlushOutputFile", "0"},
        {"IncludeDateTime", "0"}, {"IncludeProject", "0"},  {"IncludeModule", "0"},   {"IncludeClass", "0"},
        {"IncludeMachine", "0"},  {"IncludeProcess", "1"},  {"IncludeThread", "0"},   {"IncludeCode", "1"},
    };
    for (const auto& value : stored) {
        EXPECT_EQ(ReadRegStringRaw(RegCurrentUser(), subkey_, value.name), value.text) << value.name;
    }
    const ConfigValues loaded = LoadConfigValues(RegCurrentUser(), subkey_);
    EXPECT_EQ(loaded.flags, values.flags);
    EXPECT_EQ(loaded.fileName, values.fileName);
}

TEST_F(ConfigValuesTest, AFailingWriteRaisesARegistryError) {
    EXPECT_THROW(SaveConfigValues(nullptr, subkey_, ConfigValues{}), ERegistryError);
}

TEST(SessionCountTextTest, ShowsTheLow16BitsInDecimal) {
    EXPECT_EQ(SessionCountText(0), "0");
    EXPECT_EQ(SessionCountText(65535), "65535");
    EXPECT_EQ(SessionCountText(65537), "1");
    EXPECT_EQ(SessionCountText(-1), "65535");
}

}  // namespace
}  // namespace norvale
