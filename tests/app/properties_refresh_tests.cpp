#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/properties_refresh.h"

namespace norvale {
namespace {

// A server object gone when asked stands for the last client letting go
// between the process's look at the object and its call.
TEST(PropertiesRefreshTest, TheProcessFollowsTheSettingsWhateverTheServerObjectDoes) {
    for (const auto& [objectThere, captureOn, expected] : std::vector<std::tuple<bool, bool, std::string>>{
             {true, true, "object "}, {false, true, "object stage "}, {false, false, "object options close "}}) {
        std::string steps;
        const auto step = [&](const char* name) { steps += name + std::string(" "); };
        RefreshProperties({[&] { return step("object"), objectThere; }, [&] { return captureOn; },
                           [&] { step("stage"); }, [&] { step("options"); }, [&] { step("close"); }});
        EXPECT_EQ(steps, expected) << objectThere << captureOn;
    }
}

}  // namespace
}  // namespace norvale
