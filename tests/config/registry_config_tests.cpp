// The store's naming, and its keys on the registry layer: the in-memory store
// natively, the real registry under Wine, below a scratch path of the tests
// that is removed from both hives.

#include <gtest/gtest.h>

#include "config/registry_config.h"
#include "config/registry_values.h"
#include "tests_support/error_text.h"
#include "tests_support/paths.h"
#include "tests_support/scratch.h"

namespace norvale {
namespace {

TEST(RegistryConfigNamingTest, EachChangeInTurn) {
    using Setter = void (TRegistryConfig::*)(std::string_view);
    const Setter application = &TRegistryConfig::SetApplicationName;
    const Setter company = &TRegistryConfig::SetCompanyName;
    const Setter version = &TRegistryConfig::SetVersion;
    const Setter path = &TRegistryConfig::SetPath;
    struct Row {
        Setter setter;
        const char* text;
        const char *application, *company, *version, *path, *keyPath;
    };
    // Applied one after the other to one store.
    const Row rows[] = {
        // The name it already has: no change, so the store is still unnamed.
        {application, "MyApplication", "MyApplication", "MyCompany", "", "", ""},
        {company, "  brantwick ", "MyApplication", "brantwick", "", "", "SOFTWARE\\brantwick\\MyApplication"},
        {application, "Norvale", "Norvale", "brantwick", "", "", "SOFTWARE\\brantwick\\Norvale"},
        {application, "   ", "Norvale", "brantwick", "", "", "SOFTWARE\\brantwick\\Norvale"},
        {company, "", "Norvale", "brantwick", "", "", "SOFTWARE\\brantwick\\Norvale"},
        // Only the space character is trimmed.
        {application, "\tNorvale ", "\tNorvale", "brantwick", "", "", "SOFTWARE\\brantwick\\\tNorvale"},
        {application, "Norvale", "Norvale", "brantwick", "", "", "SOFTWARE\\brantwick\\Norvale"},
        {version, " 1.0.0.1 ", "Norvale", "brantwick", "1.0.0.1", "", "SOFTWARE\\brantwick\\Norvale\\1.0.0.1"},
        {version, "  ", "Norvale", "brantwick", "", "", "SOFTWARE\\brantwick\\Norvale"},
        {path, " Tools\\Trace ", "", "", "", "Tools\\Trace", "SOFTWARE\\Tools\\Trace"},
        // Back from a path: the company it cleared stays empty until set again.
        {application, "Norvale", "Norvale", "", "", "", "SOFTWARE\\\\Norvale"},
        {company, "brantwick", "Norvale", "brantwick", "", "", "SOFTWARE\\brantwick\\Norvale"},
        {version, "2", "Norvale", "brantwick", "2", "", "SOFTWARE\\brantwick\\Norvale\\2"},
        {path, "Tools", "", "", "", "Tools", "SOFTWARE\\Tools"},
        {version, "3", "", "", "3", "", "SOFTWARE\\\\\\3"},
    };
    TRegistryConfig config;
    for (const auto& row : rows) {
        (config.*row.setter)(row.text);
        SCOPED_TRACE(std::string("after setting \"") + row.text + '"');
        EXPECT_EQ(config.ApplicationName(), row.application);
        EXPECT_EQ(config.CompanyName(), row.company);
        EXPECT_EQ(config.Version(), row.version);
        EXPECT_EQ(config.Path(), row.path);
        EXPECT_EQ(config.KeyPath(), row.keyPath);
    }
}

TEST(RegistryConfigNamingTest, FullPathIsSoftwareAndPathNotTheKey) {
    TRegistryConfig config;
    EXPECT_EQ(config.FullPath(), "Software\\");
    config.SetCompanyName("brantwick");
    config.SetApplicationName("Norvale");
    EXPECT_EQ(config.FullPath(), "Software\\");
    config.SetPath("Tools\\Trace");
    EXPECT_EQ(config.FullPath(), "Software\\Tools\\Trace");
}

class RegistryConfigKeysTest : public testing::Test {
protected:
    RegistryConfigKeysTest() { config_.SetPath(scratch_.Path()); }

    // Read past the store, straight from one hive.
    std::string Stored(RegKey hive, const std::string& keyPath, const std::string& name) {
        return ReadRegString(hive, keyPath + "\\Sub", name, "(none)");
    }

    test::ScratchStorePath scratch_;
    TRegistryConfig config_;
};

TEST_F(RegistryConfigKeysTest, UserChoosesTheHiveAtEachCall) {
    config_.SetUser(true);
    config_.WriteString("Sub", "Name", "per user");
    config_.SetUser(false);
    config_.WriteString("Sub", "Name", "machine");
    EXPECT_EQ(Stored(RegCurrentUser(), config_.KeyPath(), "Name"), "per user");
    EXPECT_EQ(Stored(RegLocalMachine(), config_.KeyPath(), "Name"), "machine");
    EXPECT_EQ(config_.ReadString("Sub", "Name"), "machine");
    config_.SetUser(true);
    EXPECT_EQ(config_.ReadString("Sub", "Name"), "per user");
    EXPECT_EQ(config_.ReadString("Sub", "Missing"), "");
    EXPECT_EQ(config_.ReadString("Missing", "Name"), "");
}

TEST_F(RegistryConfigKeysTest, FirstReadOpensTheKeyInBothHives) {
    config_.SetUser(true);
    EXPECT_EQ(config_.ReadString("Sub", "Name"), "");
    for (RegKey hive : {RegCurrentUser(), RegLocalMachine()}) {
        UniqueRegKey key;
        EXPECT_EQ(RegApiOpenKey(hive, config_.KeyPath(), key.put()), regcode::kSuccess);
    }
}

TEST_F(RegistryConfigKeysTest, RenamingMovesReadsAndWritesToTheNewKey) {
    config_.SetUser(true);
    config_.WriteString("Sub", "Name", "first");
    const std::string firstKey = config_.KeyPath();
    config_.SetPath(scratch_.Path() + "\\Renamed");
    EXPECT_EQ(config_.ReadString("Sub", "Name"), "");
    config_.WriteString("Sub", "Name", "second");
    EXPECT_EQ(Stored(RegCurrentUser(), firstKey, "Name"), "first");
    EXPECT_EQ(Stored(RegCurrentUser(), config_.KeyPath(), "Name"), "second");
}

TEST(RegistryConfigUnopenedTest, ReadsGiveEmptyTextAndWritesFail) {
    // A store never named opens nothing, rather than the top of a hive; a key
    // name longer than 255 characters cannot be created in either hive.
    TRegistryConfig unnamed;
    TRegistryConfig tooLong;
    tooLong.SetPath("brantwick\\NorvaleTests\\" + std::string(256, 'k'));
    const std::string subkey = test::UniqueTestName("top");
    for (TRegistryConfig* config : {&unnamed, &tooLong}) {
        for (bool user : {true, false}) {
            config->SetUser(user);
            SCOPED_TRACE(std::string(config == &unnamed ? "unnamed" : "name too long") +
                         (user ? ", per user" : ", machine"));
            EXPECT_EQ(config->ReadString(subkey, "Name"), "");
            EXPECT_EQ(test::ErrorText<ERegistryError>([&] { config->WriteString(subkey, "Name", "x"); }),
                      "could not create key " + subkey + " (Error 6).");
        }
    }
}

}  // namespace
}  // namespace norvale
