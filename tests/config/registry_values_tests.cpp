// Runs natively on the in-memory store and under Wine on the real registry,
// below a scratch key of the current user that each test removes.

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "config/registry_values.h"
#include "tests_support/paths.h"

namespace norvale {
namespace {

class RegistryValuesTest : public testing::Test {
protected:
    void SetUp() override {
        subkey_ = "Software\\brantwick\\NorvaleTests\\" + test::UniqueTestName("registry");
    }
    void TearDown() override { RegApiDeleteTree(RegCurrentUser(), subkey_); }

    void SetRaw(const std::string& name, uint32_t type, const std::string& bytes) {
        UniqueRegKey key;
        ASSERT_EQ(RegApiCreateKey(RegCurrentUser(), subkey_, RegAccess::All, key.put()), regcode::kSuccess);
        ASSERT_EQ(RegApiSetValue(key.get(), name, type, reinterpret_cast<const uint8_t*>(bytes.data()),
                                 static_cast<uint32_t>(bytes.size())),
                  regcode::kSuccess);
    }

    std::string StoredBytes(const std::string& name) {
        UniqueRegKey key;
        EXPECT_EQ(RegApiOpenKey(RegCurrentUser(), subkey_, key.put()), regcode::kSuccess);
        uint8_t buffer[64] = {};
        uint32_t type = 0;
        uint32_t size = sizeof buffer;
        EXPECT_EQ(RegApiQueryValue(key.get(), name, &type, buffer, &size), regcode::kSuccess);
        EXPECT_EQ(type, regcode::kTypeSz);
        std::string bytes(reinterpret_cast<const char*>(buffer), size);
#ifdef _WIN32
        // Wine's single-byte layer stores REG_SZ text with a terminator of its
        // own whatever count it is given; the count we hand it is checked at
        // the call (TextReachesTheRegistryWithoutTerminatingZero).
        if (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
#endif
        return bytes;
    }

    std::string ErrorOf(const std::function<void()>& call) {
        try {
            call();
        } catch (const ERegistryError& error) {
            return error.what();
        }
        return "(no error)";
    }

    std::string subkey_;
};

TEST_F(RegistryValuesTest, TextIsStoredWithoutTerminatingZero) {
    WriteRegString(RegCurrentUser(), subkey_, "Name", "abc");
    EXPECT_EQ(StoredBytes("Name"), "abc");
    EXPECT_EQ(ReadRegStringRaw(RegCurrentUser(), subkey_, "Name"), "abc");
}

#ifdef _WIN32
// Stands in for the platform's value setter while it lives and keeps the
// bytes of each call, as many as the call's count says.
class HandedToThePlatform {
public:
    HandedToThePlatform() : platformCall_(std::exchange(RegSetValueExACall, Record)) { texts_.clear(); }
    ~HandedToThePlatform() { RegSetValueExACall = platformCall_; }
    HandedToThePlatform(const HandedToThePlatform&) = delete;
    HandedToThePlatform& operator=(const HandedToThePlatform&) = delete;

    const std::vector<std::string>& Texts() const { return texts_; }

private:
    static LONG WINAPI Record(HKEY, LPCSTR, DWORD, DWORD, const BYTE* data, DWORD count) {
        texts_.emplace_back(reinterpret_cast<const char*>(data), count);
        return ERROR_SUCCESS;
    }

    static inline std::vector<std::string> texts_;
    decltype(&RegSetValueExA) platformCall_;
};

TEST_F(RegistryValuesTest, TextReachesTheRegistryWithoutTerminatingZero) {
    const HandedToThePlatform handed;
    WriteRegString(RegCurrentUser(), subkey_, "Name", "abc");
    WriteRegBool(RegCurrentUser(), subkey_, "Flag", true);
    WriteRegString(RegCurrentUser(), subkey_, "Empty", "");
    EXPECT_EQ(handed.Texts(), (std::vector<std::string>{"abc", "1", ""}));
}
#endif

TEST_F(RegistryValuesTest, WriteCreatesTheWholePath) {
    WriteRegString(RegCurrentUser(), subkey_ + "\\Deeper\\Still", "Filename", "c:\\Debug.txt");
    EXPECT_EQ(ReadRegString(RegCurrentUser(), subkey_ + "\\Deeper\\Still", "Filename", ""), "c:\\Debug.txt");
}

TEST_F(RegistryValuesTest, FlagsAreStoredAsOneAndZero) {
    WriteRegBool(RegCurrentUser(), subkey_, "On", true);
    WriteRegBool(RegCurrentUser(), subkey_, "Off", false);
    EXPECT_EQ(StoredBytes("On"), "1");
    EXPECT_EQ(StoredBytes("Off"), "0");
    EXPECT_TRUE(ReadRegBool(RegCurrentUser(), subkey_, "On", false));
    EXPECT_FALSE(ReadRegBool(RegCurrentUser(), subkey_, "Off", true));
}

TEST_F(RegistryValuesTest, FlagTexts) {
    const std::pair<const char*, bool> rows[] = {
        {"1", true},    {"true", true}, {"TRUE", true}, {"Yes", true}, {"yEs", true},
        {"0", false},   {"on", false},  {"2", false},   {"y", false},  {" 1", false},
        {"1 ", false},  {"", false},    {"no", false},
    };
    for (const auto& [text, expected] : rows) {
        SetRaw("Flag", regcode::kTypeSz, text);
        EXPECT_EQ(ReadRegBool(RegCurrentUser(), subkey_, "Flag", !expected), expected) << '"' << text << '"';
    }
}

TEST_F(RegistryValuesTest, MissingKeyOrValueGivesTheDefault) {
    EXPECT_EQ(ReadRegString(RegCurrentUser(), subkey_, "Filename", "c:\\Debug.txt"), "c:\\Debug.txt");
    EXPECT_TRUE(ReadRegBool(RegCurrentUser(), subkey_, "ToFile", true));
    WriteRegString(RegCurrentUser(), subkey_, "Other", "x");
    EXPECT_EQ(ReadRegString(RegCurrentUser(), subkey_, "Filename", "dflt"), "dflt");
    EXPECT_FALSE(ReadRegBool(RegCurrentUser(), subkey_, "ToFile", false));
}

TEST_F(RegistryValuesTest, ValuesOfOtherTypesGiveTheDefault) {
    SetRaw("Number", regcode::kTypeDword, std::string("\x01\x00\x00\x00", 4));
    EXPECT_EQ(ReadRegString(RegCurrentUser(), subkey_, "Number", "dflt"), "dflt");
    EXPECT_TRUE(ReadRegBool(RegCurrentUser(), subkey_, "Number", true));
    EXPECT_FALSE(ReadRegBool(RegCurrentUser(), subkey_, "Number", false));
}

TEST_F(RegistryValuesTest, ExistingEmptyValueReadsEmptyDespiteDefault) {
    SetRaw("Empty", regcode::kTypeSz, "");
    EXPECT_EQ(ReadRegString(RegCurrentUser(), subkey_, "Empty", "dflt"), "");
    EXPECT_FALSE(ReadRegBool(RegCurrentUser(), subkey_, "Empty", true));
}

TEST_F(RegistryValuesTest, TextEndsAtItsFirstZeroByte) {
    SetRaw("Zeroed", regcode::kTypeSz, std::string("ab\0cd\0", 6));
    EXPECT_EQ(ReadRegStringRaw(RegCurrentUser(), subkey_, "Zeroed"), "ab");
}

TEST_F(RegistryValuesTest, FailureMessagesNameTheKeyOrValueAndCode) {
    EXPECT_EQ(ErrorOf([&] { ReadRegStringRaw(RegCurrentUser(), subkey_, "Name"); }),
              "could not open key " + subkey_ + " (Error 2).");
    WriteRegString(RegCurrentUser(), subkey_, "Other", "x");
    EXPECT_EQ(ErrorOf([&] { ReadRegStringRaw(RegCurrentUser(), subkey_, "Name"); }),
              "could not read value Name (Error 2).");
    SetRaw("Number", regcode::kTypeDword, std::string(4, '\0'));
    EXPECT_EQ(ErrorOf([&] { ReadRegStringRaw(RegCurrentUser(), subkey_, "Number"); }), "invalid value type.");
    EXPECT_EQ(ErrorOf([&] { WriteRegString(nullptr, subkey_, "Name", "x"); }),
              "could not create key " + subkey_ + " (Error 6).");
    EXPECT_EQ(ErrorOf([&] { WriteRegBool(nullptr, subkey_, "Flag", true); }),
              "could not create key " + subkey_ + " (Error 6).");
    // Value names are limited to 16383 characters.
    const std::string tooLong(16384, 'v');
    EXPECT_EQ(ErrorOf([&] { WriteRegString(RegCurrentUser(), subkey_, tooLong, "x"); }),
              "could not set value " + tooLong + " (Error 87).");
}

}  // namespace
}  // namespace norvale
