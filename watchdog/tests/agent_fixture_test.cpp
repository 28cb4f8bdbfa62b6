#include "agent_fixture.h"
#include "contract.h"
#include "test_names.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(AgentDouble, StartsStopsCrashesAndStartsAgain)
{
    ASSERT_TRUE(agent_fixture::install());
    EXPECT_EQ(DWORD(SERVICE_STOPPED), agent_fixture::state());

    ASSERT_TRUE(agent_fixture::start());
    EXPECT_EQ(1u, ts::processes_named(AGENT_DOUBLE_IMAGE).size());

    EXPECT_TRUE(agent_fixture::crash());
    EXPECT_TRUE(ts::wait_until([] { return ts::processes_named(AGENT_DOUBLE_IMAGE).empty(); },
                               3000));

    ASSERT_TRUE(agent_fixture::start());
    ts::run_result r = ts::run(AGENT_STOP_COMMAND, 10000);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ(DWORD(SERVICE_STOPPED), agent_fixture::state());
    EXPECT_TRUE(agent_fixture::start());

    agent_fixture::remove();
    EXPECT_EQ(0u, agent_fixture::state());
    EXPECT_TRUE(ts::processes_named(AGENT_DOUBLE_IMAGE).empty());
}

} // namespace
