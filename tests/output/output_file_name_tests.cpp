// Output file names that are always plain files of their folder, and never
// another expanded name's older file.

#include <gtest/gtest.h>

#include "output/output_file_name.h"

namespace norvale {
namespace {

TEST(OutputFileNameTest, DeviceNamesInAnyCaseWithAnyExtensionOrSpacesOrAColonBeforeIt) {
    std::vector<std::string> devices = {"CON", "prn", "Aux", "nuL"};
    for (const char* stem : {"COM", "lpt", "Com"}) {
        for (const char* digit : {"1", "2", "3", "4", "5", "6", "7", "8", "9", "\xB9", "\xB2", "\xB3", "\xC2\xB9",
                                  "\xC2\xB2", "\xC2\xB3"}) {
            devices.push_back(stem + std::string(digit));
        }
    }
    for (const std::string& device : devices) {
        for (const char* end : {"", ".txt", ".tar.gz", " .log", "  ", ".", ":"}) {
            EXPECT_TRUE(IsDeviceName(device + end)) << device + end;
        }
    }
    for (const char* name :
         {"COM0", "LPT0", "COM10", "CONX", "XCON", "CO", "", ".CON", "COM", "LPT.txt", "COM\xC2\xB4", "AUX1"}) {
        EXPECT_FALSE(IsDeviceName(name)) << name;
    }
}

// The template, the project and the module, and the names made of them for
// a local session and for a received entry.
TEST(OutputFileNameTest, PartsAValueMadeArePlainAndNoNameIsAnotherNamesOlderFile) {
    const std::string f(250, 'f'), a(254, 'a');
    const std::tuple<std::string, std::string, std::string, std::string, std::string> rows[] = {
        {"d\\%MODULE%.txt", "", "con", "d\\_con.txt", "d\\_con.txt"},
        {"con\\..\\%PROJECT%.txt", "P", "", "con\\..\\P.txt", "con\\..\\P.txt"},
        {"%PROJECT% \\%MODULE%.", "a", "b", "a_\\b_", "a_\\b_"},
        {"d\\%PROJECT%%MODULE%\\x", ".", ".", "d\\..\\x", "d\\._\\x"},
        {"d\\%PROJECT%\\x", ".", "", "d\\.\\x", "d\\_\\x"},
        {"d\\.%PROJECT%\\x", "", "", "d\\.\\x", "d\\_\\x"},
        {"%PROJECT%\\x", "", "", "\\x", "_\\x"},
        {"%PROJECT%.txt", "..\\..\\w", "", "..\\..\\w.txt", "._\\._\\w.txt"},
        {"%PROJECT%-%MODULE%", "%MODULE%", "M", "M-M", "%MODULE%-M"},
        // NAME.N.EXT and NAME.N, judged on the whole name; never the folders'.
        {"d.1\\%PROJECT%", "app.1", "", "d.1\\app_1", "d.1\\app_1"},
        {"trace%PROJECT%.1.txt", "r", "", "tracer_1.txt", "tracer_1.txt"},
        {"%PROJECT%%MODULE%", ".log.", "2024", ".log_2024", ".log_2024"},
        {"%PROJECT%", "a.b.1", "", "a.b.1", "a.b.1"},
        {"trace.1.txt", "r", "", "trace.1.txt", "trace.1.txt"},
        // Cut at 255 characters a part, 259 the name, then made plain again.
        {"d\\%PROJECT%", a + ".bbb", "", "d\\" + a + "_", "d\\" + a + "_"},
        {f + "\\%PROJECT%", "app.1234.log", "", f + "\\app_1234", f + "\\app_1234"},
        {f + "1234\\%PROJECT%", "COM1234", "", f + "1234\\_COM", f + "1234\\_COM"},
        {f + "12345\\%PROJECT%", "CON", "", f + "12345\\_CO", f + "12345\\_CO"},
        {f + "\\%PROJECT%", "12345678", "", f + "\\12345678", f + "\\12345678"},
    };
    for (const auto& [fileNameTemplate, project, module, local, received] : rows) {
        const SessionNaming session{project, module, "", "", 0};
        EXPECT_EQ(OutputFileName(fileNameTemplate, &session, NameValues::Local), local) << project;
        EXPECT_EQ(OutputFileName(fileNameTemplate, &session, NameValues::Received), received) << project;
    }
}

}  // namespace
}  // namespace norvale
