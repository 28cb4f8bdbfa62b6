// The real service program stopped while a repair waits on a hanging device
// tool: the record stays set, and the next start of the service repairs
// again until the device is enabled.
#include "agent_fixture.h"
#include "contract.h"
#include "doubles_fixture.h"
#include "double_control.h"
#include "log_records.h"
#include "test_support.h"
#include "watchdog_seams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> lines;

const std::string ENABLE_CALL = "enable " CONSOLE_HARDWARE_ID;

using logs::device_command;

std::string record_text()
{
    std::string bytes;
    ts::reg_get(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE, &bytes);
    return bytes.c_str();
}

bool no_watchdog_process()
{
    return ts::wait_until([] { return ts::processes_named(WATCHDOG_IMAGE_NAME).empty(); }, 5000);
}

class ServiceFault : public ::testing::Test {
protected:
    void SetUp() override
    {
        cleanup();
        logs::clear_daemon_log();
        ASSERT_TRUE(doubles::install_devcon_double(DEVCON_PATH_1));
        // The agent is not installed: only the repair's sc stop concerns it.
        ASSERT_TRUE(doubles::install_sc_double());
        doubles::reset_sc();
    }
    void TearDown() override { cleanup(); }
    static void cleanup()
    {
        agent_fixture::remove_watchdog_setup();
        doubles::uninstall_sc_double();
    }
};

TEST_F(ServiceFault, StopDuringARepairThenTheNextStartRepairsAgain)
{
    ts::reg_set_dword(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY, TEST_PERIOD_VALUE, 100);
    ASSERT_TRUE(ts::reg_set_sz(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE,
                               "995"));
    doubles::set_devcon_hang("enable");
    ASSERT_EQ(0u, ts::run("\"" + ts::sibling(WATCHDOG_IMAGE_NAME) + "\" -i", 10000).exit_code);
    ASSERT_TRUE(svc::start(WATCHDOG_SERVICE_NAME));

    auto enable_called = [] {
        lines calls = doubles::devcon_calls();
        return std::find(calls.begin(), calls.end(), ENABLE_CALL) != calls.end();
    };
    ASSERT_TRUE(ts::wait_until(enable_called, 10000));
    EXPECT_TRUE(svc::stop(WATCHDOG_SERVICE_NAME, 3000));
    EXPECT_TRUE(no_watchdog_process());
    EXPECT_EQ("995", record_text());
    EXPECT_EQ(DEVCON_STATE_DISABLED, doubles::devcon_state());
    lines before = logs::daemon_log_messages();
    ASSERT_FALSE(before.empty());
    EXPECT_EQ("enable_disable_serial_dev cmd=" + device_command("enable"), before.back());

    // The hung tool outlives the service process; the test ends it.
    ts::kill_all_named("devcon.exe");
    doubles::set_devcon_hang("");
    logs::clear_daemon_log();
    ASSERT_TRUE(svc::start(WATCHDOG_SERVICE_NAME));
    // The pass goes on to the agent, which is not installed: one line says so.
    const std::string agent_missing = "OpenServiceA \"" AGENT_SERVICE_NAME "\" failed (1060)";
    EXPECT_TRUE(ts::wait_until(
        [&] {
            lines messages = logs::daemon_log_messages();
            return record_text() == "0" && !messages.empty() && messages.back() == agent_missing;
        },
        10000));
    EXPECT_TRUE(svc::stop(WATCHDOG_SERVICE_NAME, 3000));
    EXPECT_TRUE(no_watchdog_process());

    EXPECT_EQ(DEVCON_STATE_ENABLED, doubles::devcon_state());
    EXPECT_EQ((lines{"stop sen-drik", "stop sen-drik"}), doubles::sc_calls());
    // The loop's first log check finds the emptied log missing.
    lines expected = {"open " + logs::daemon_log_path() + " failed!\r\n",
                      "get writefile errorcode 995"};
    for (const std::string& m : logs::repair_messages(1062))
        expected.push_back(m);
    expected.push_back(agent_missing);
    EXPECT_EQ(expected, logs::daemon_log_messages());
}

} // namespace
