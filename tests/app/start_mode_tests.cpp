#include <gtest/gtest.h>

#include "app/start_mode.h"

namespace norvale {
namespace {

TEST(StartModeTest, SwitchesInAnyCaseAfterDashOrSlash) {
    using Arguments = std::vector<std::string>;
    const std::pair<Arguments, StartMode> rows[] = {
        {{}, StartMode::Manual},
        {{"-Embedding"}, StartMode::Automation},
        {{"/embedding"}, StartMode::Automation},
        {{"-AUTOMATION"}, StartMode::Automation},
        {{"/RegServer"}, StartMode::Register},
        {{"-regserver"}, StartMode::Register},
        {{"/UNREGSERVER"}, StartMode::Unregister},
        {{"-unregserver"}, StartMode::Unregister},
        // The automation switches win, then register, then unregister.
        {{"/UnregServer", "/RegServer"}, StartMode::Register},
        {{"/RegServer", "-Embedding"}, StartMode::Automation},
        // Anything else is ignored.
        {{"RegServer"}, StartMode::Manual},
        {{"--regserver"}, StartMode::Manual},
        {{"/RegServerX", "x.txt"}, StartMode::Manual},
        {{"-"}, StartMode::Manual},
    };
    for (const auto& [arguments, mode] : rows) {
        EXPECT_EQ(StartModeOf(arguments), mode) << testing::PrintToString(arguments);
    }
}

}  // namespace
}  // namespace norvale
