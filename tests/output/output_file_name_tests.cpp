// Output file names that are always plain files of their folder, and never
// another expanded name's older file.

#include <gtest/gtest.h>

#include <cctype>

#include "output/file_rotation.h"
#include "output/output_file_name.h"

namespace norvale {
namespace {

TEST(OutputFileNameTest, DeviceNamesInAnyCaseWithAnyExtensionOrSpacesOrAColonBeforeIt) {
    std::vector<std::string> devices = {"CON", "PRN", "AUX", "NUL"};
    for (const char* stem : {"COM", "LPT"}) {
        for (char digit = '1'; digit <= '9'; ++digit) devices.push_back(std::string(stem) + digit);
        for (const char* superscript : {"\xB9", "\xB2", "\xB3", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"}) {
            devices.push_back(stem + std::string(superscript));
        }
    }
    for (const std::string& device : devices) {
        std::string lower = device, mixed = device;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        mixed[1] = lower[1];
        for (const std::string& name : {device, lower, mixed, device + ".txt", lower + ".tar.gz", device + " .log",
                                        device + "  ", device + ".", device + ":"}) {
            EXPECT_TRUE(IsDeviceName(name)) << name;
        }
    }
    for (const char* name : {"COM0", "LPT0", "COM10", "LPT10", "CONX", "CONX.txt", "XCON", "CO", "", ".CON", "COM",
                             "LPT.txt", "COM\xB4", "COM\xC2\xB4", "NUL_", "AUX1"}) {
        EXPECT_FALSE(IsDeviceName(name)) << name;
    }
}

struct NameRow {
    const char* fileNameTemplate;
    SessionNaming session;
    const char* local;
    const char* received;
};

TEST(OutputFileNameTest, ComponentsAValueMadeArePlainFilesOfTheirFolder) {
    const NameRow rows[] = {
        {"d\\%MODULE%.txt", {"", "con", "", "", 0}, "d\\_con.txt", "d\\_con.txt"},
        {"d\\%MODULE%%PROJECT%", {"1 .x", "COM", "", "", 0}, "d\\_COM1 .x", "d\\_COM1 .x"},
        // The template's own components stay as the user wrote them.
        {"con\\..\\%PROJECT%.txt", {"P", "", "", "", 0}, "con\\..\\P.txt", "con\\..\\P.txt"},
        {"d\\%PROJECT%", {"x.", "", "", "", 0}, "d\\x_", "d\\x_"},
        {"%PROJECT% \\y", {"a", "", "", "", 0}, "a_\\y", "a_\\y"},
        // Single dots of two values, and an empty value beside the template's.
        {"d\\%PROJECT%%MODULE%\\x", {".", ".", "", "", 0}, "d\\._\\x", "d\\._\\x"},
        {"d\\.%PROJECT%\\x", {"", "", "", "", 0}, "d\\_\\x", "d\\_\\x"},
        {"%PROJECT%\\x", {"", "", "", "", 0}, "\\x", "_\\x"},
        {"d/%CLASS%/x", {"", "", "", "", 0}, "d//x", "d/_/x"},
        // A local value may name folders; each one it made is plain.
        {"%PROJECT%.txt", {"..\\..\\w", "", "", "", 0}, "._\\._\\w.txt", "._\\._\\w.txt"},
        // Sequential for a local session, once for a received one.
        {"%PROJECT%-%MODULE%", {"%MODULE%", "M", "", "", 0}, "M-M", "%MODULE%-M"},
        {"%PROJECT%", {"%PROCESS%", "", "", "", 0x10}, "00000010", "%PROCESS%"},
    };
    for (const auto& [fileNameTemplate, session, local, received] : rows) {
        EXPECT_EQ(OutputFileName(fileNameTemplate, &session, NameValues::Local), local) << fileNameTemplate;
        EXPECT_EQ(OutputFileName(fileNameTemplate, &session, NameValues::Received), received) << fileNameTemplate;
    }
}

TEST(OutputFileNameTest, ANameThatReadsAsAnOlderFileHasAnUnderscoreBeforeItsNumber) {
    const std::pair<const char*, const char*> rows[] = {
        {"app.1", "app_1"},
        {"app", "app"},
        {"x.1.txt", "x_1.txt"},
        {"r.2024", "r_2024"},
        {".log.1", ".log_1"},
        {"a.b.c", "a.b.c"},
        // Never a rotated name: the number is not before the extension of a name.
        {"a.b.1", "a.b.1"},
        {".1.txt", ".1.txt"},
        {"a.1x.txt", "a.1x.txt"},
        {"a..txt", "a..txt"},
    };
    for (const auto& [project, expected] : rows) {
        const SessionNaming session{project, "", "", "", 0};
        EXPECT_EQ(OutputFileName("d.1\\%PROJECT%", &session, NameValues::Local), std::string("d.1\\") + expected)
            << project;
    }
    // Judged on the whole expanded name, the template's own part too.
    const SessionNaming x{"x", "", "", "", 0};
    EXPECT_EQ(OutputFileName("trace%PROJECT%.1.txt", &x, NameValues::Received), "tracex_1.txt");
    EXPECT_EQ(OutputFileName("trace.1.txt", &x, NameValues::Received), "trace.1.txt");
    // Every older file's name reads as one, so none is an expanded name.
    for (const char* name : {"t.txt", "t", ".log", "a.b", "x."}) {
        const std::string older = RotatedName(name, 3);
        const SessionNaming session{older, "", "", "", 0};
        EXPECT_NE(OutputFileName("%PROJECT%", &session, NameValues::Local), older) << older;
    }
}

TEST(OutputFileNameTest, ComponentsAndTheWholeNameAreCutThenMadePlainAgain) {
    const std::string folder(250, 'f');
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {"d\\%PROJECT%", std::string(254, 'a') + ".bbb", "d\\" + std::string(254, 'a') + "_"},
        {folder + "\\%PROJECT%", "abcdefg.hij", folder + "\\abcdefg_"},
        {folder + "\\%PROJECT%", "app.1234.log", folder + "\\app_1234"},
        {folder + "1234\\%PROJECT%", "COM1234", folder + "1234\\_COM"},
        {folder + "12345\\%PROJECT%", "CON", folder + "12345\\_CO"},
        // Exactly 259 characters are whole.
        {folder + "\\%PROJECT%", "12345678", folder + "\\12345678"},
        {"%PROJECT%\\x", std::string(300, 'p'), std::string(255, 'p') + "\\x"},
    };
    for (const auto& [fileNameTemplate, project, expected] : rows) {
        const SessionNaming session{project, "", "", "", 0};
        const std::string name = OutputFileName(fileNameTemplate, &session, NameValues::Received);
        EXPECT_EQ(name, expected) << project;
        EXPECT_LE(name.size(), kMaxOutputFileNameLength) << project;
    }
}

}  // namespace
}  // namespace norvale
