#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "common/version.h"
#include "tests_support/paths.h"

namespace norvale {
namespace {

TEST(VersionResourceTest, ReadsTheProgramsFileVersion) {
    EXPECT_EQ(ShortVersionText(ReadFileVersion(test::NorvaleExePath())), NORVALE_VERSION_TEXT);
}

TEST(VersionResourceTest, FileWithoutResourceGivesZeros) {
    // The test program itself carries no version resource.
    EXPECT_EQ(ShortVersionText(OwnFileVersion()), "0.0.0.0");
    EXPECT_EQ(ShortVersionText(ReadFileVersion("C:\\no\\such\\file.exe")), "0.0.0.0");
}

TEST(VersionResourceTest, TypeLibraryIsLanguageNeutral) {
    const HMODULE exe = LoadLibraryExA(test::NorvaleExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    std::vector<WORD> languages;
    EnumResourceLanguagesA(
        exe, "TYPELIB", MAKEINTRESOURCEA(1),
        [](HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found) -> BOOL {
            reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    FreeLibrary(exe);
    EXPECT_EQ(languages, std::vector<WORD>{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)});
}

}  // namespace
}  // namespace norvale
