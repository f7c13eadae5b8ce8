// The tests that are clients of the automation server. The server is
// registered once for the whole run; tests start it through activation or by
// hand, and every server process they start ends before the next test.

#include <gtest/gtest.h>

#include <objbase.h>

#include "tests/com/com_support.h"

namespace {

class ServerRegistration : public testing::Environment {
public:
    void SetUp() override {
        // Failures of servers started by these tests go to standard error,
        // never into a dialog that would wait for a click.
        SetEnvironmentVariableA("NORVALE_NO_DIALOGS", "1");
        ASSERT_EQ(norvale::test::RunProgram("\"" + norvale::test::NorvaleExe() + "\" /RegServer"), 0);
    }
};

}  // namespace

int main(int argc, char** argv) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new ServerRegistration);
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
