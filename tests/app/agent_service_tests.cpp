// The agent's service as installed and as it reports its phases.

#include <gtest/gtest.h>

#include "app/agent_service.h"

namespace norvale {
namespace {

TEST(AgentServicePlanTest, InstalledQuotedUnderLocalServiceUnlessAnAccountIsNamedAndRestartedAfterAMinute) {
    const AgentServiceInstall plain = AgentServiceInstallOf("C:\\Program Files\\Norvale\\norvale-agent.exe", {});
    EXPECT_EQ(plain.commandLine, "\"C:\\Program Files\\Norvale\\norvale-agent.exe\" /Service");
    EXPECT_EQ(plain.account, "NT AUTHORITY\\LocalService");
    EXPECT_EQ(plain.restartDelayMs, 60000u);
    EXPECT_EQ(plain.failureResetSeconds, 86400u);
    EXPECT_NE(plain.description.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\brantwick\\Norvale\\Agent"), std::string::npos);
    EXPECT_EQ(AgentServiceInstallOf("a.exe", "NT AUTHORITY\\NetworkService").account, "NT AUTHORITY\\NetworkService");
}

TEST(AgentServicePlanTest, EachPhaseReportsItsStateControlsAndHintAndAFailedAgentItsCode) {
    const struct {
        ServicePhase phase;
        int agentExit;
        ServiceStatusValues status;
    } rows[] = {
        {ServicePhase::Starting, 0, {2, 0, 0, 0, 15000}},
        {ServicePhase::Running, 0, {4, 1 | 4, 0, 0, 0}},
        {ServicePhase::Stopping, 0, {3, 0, 0, 0, 2000}},
        {ServicePhase::Stopped, 0, {1, 0, 0, 0, 0}},
        {ServicePhase::Stopped, 3, {1, 0, 1066, 3, 0}},
        {ServicePhase::Stopped, 2, {1, 0, 1066, 2, 0}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ServiceStatusOf(row.phase, row.agentExit), row.status)
            << static_cast<int>(row.phase) << " " << row.agentExit;
    }
}

}  // namespace
}  // namespace norvale
