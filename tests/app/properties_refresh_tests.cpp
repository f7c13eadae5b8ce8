#include <gtest/gtest.h>

#include <string>

#include "app/properties_refresh.h"

namespace norvale {
namespace {

// A server object that is gone when it is asked stands for the last client
// letting go between the process's look at the object and its call.
TEST(PropertiesRefreshTest, TheProcessFollowsTheSettingsWhateverTheServerObjectDoes) {
    struct Row {
        bool objectRefreshed;
        bool captureOn;
        std::string steps;
    };
    const Row rows[] = {
        {true, true, "object"},
        {false, true, "object capture stage"},
        {false, false, "object capture options close"},
    };
    for (const Row& row : rows) {
        std::string steps;
        const auto step = [&](const char* name) { steps += (steps.empty() ? "" : " ") + std::string(name); };
        RefreshProperties({[&] { return step("object"), row.objectRefreshed; },
                           [&] { return step("capture"), row.captureOn; }, [&] { step("stage"); },
                           [&] { step("options"); }, [&] { step("close"); }});
        EXPECT_EQ(steps, row.steps) << row.objectRefreshed << row.captureOn;
    }
}

}  // namespace
}  // namespace norvale
