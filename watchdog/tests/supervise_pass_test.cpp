// One pass of the supervision loop at a time, in this process, against the
// real service control manager, the agent service double, the devcon and
// findstr doubles and the real log.
#include "actions.h"
#include "agent_fixture.h"
#include "child_process.h"
#include "contract.h"
#include "doubles_fixture.h"
#include "double_control.h"
#include "handles.h"
#include "log_records.h"
#include "repair_record.h"
#include "supervise.h"
#include "test_support.h"
#include "test_seams.h"
#include "watchdog_seams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> lines;

const std::string STATUS_COMMAND = logs::status_command();
const std::string NL = "\r\n";   // a message's own line feed, as the text-mode log stores it

lines console_check(int exit_code)
{
    return {"check_serial_dev cmd=" + STATUS_COMMAND,
            STATUS_COMMAND + " Exit code = " + std::to_string(exit_code)};
}

lines concat(std::initializer_list<lines> parts)
{
    lines all;
    for (const lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const lines STARTED = {"sen-drik start pending..." + NL};
const lines NO_CONSOLE = {"there is no console device" + NL};

lines counted(int n)
{
    return {"there is no console device" + NL, "num is " + std::to_string(n) + NL};
}

class Pass : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(doubles::fresh_device_doubles());
        doubles::uninstall_sc_double();   // Wine's sc stops the agent double for real
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY);
        ASSERT_TRUE(agent_fixture::install());
        manager.reset(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ASSERT_TRUE(manager);
    }
    void TearDown() override
    {
        invoke_shell_path = nullptr;
        manager.reset();
        agent_fixture::remove();
        doubles::uninstall_findstr_double();
        doubles::remove_devcon_doubles();
        doubles::reset_devcon();
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY);
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY);
    }
    bool pass() { return supervise_pass(&counters, manager.get()); }

    unique_sc_handle manager;
    supervise_counters counters = {1, 0, 0};
};

// A running agent costs no line; one that is not installed, one line for
// however many passes.
TEST_F(Pass, NothingToDoLogsNothing)
{
    ASSERT_TRUE(agent_fixture::start());
    EXPECT_TRUE(pass());
    EXPECT_EQ(lines{}, logs::daemon_log_messages());
    agent_fixture::remove();
    EXPECT_TRUE(pass());
    EXPECT_TRUE(pass());
    EXPECT_EQ(lines{"OpenServiceA \"" AGENT_SERVICE_NAME "\" failed (1060)"},
              logs::daemon_log_messages());
    EXPECT_EQ(lines{}, doubles::devcon_calls());
    EXPECT_EQ(0, counters.no_console_count);
}

TEST_F(Pass, StoppedAgentWithRunningDeviceIsStarted)
{
    EXPECT_TRUE(pass());
    EXPECT_EQ(concat({console_check(0), STARTED}), logs::daemon_log_messages());
    EXPECT_TRUE(svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 3000));

    logs::clear_daemon_log();
    EXPECT_TRUE(pass());   // running now: nothing more
    EXPECT_EQ(lines{}, logs::daemon_log_messages());
}

TEST_F(Pass, RecordedWriteErrorIsRepairedAndAgentStartedInTheSamePass)
{
    ASSERT_TRUE(agent_fixture::start());
    for (const char* record : {"995", "554"}) {
        SCOPED_TRACE(record);
        logs::clear_daemon_log();
        ts::reg_set_sz(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE, record);

        EXPECT_TRUE(pass());

        EXPECT_EQ(concat({{std::string("get writefile errorcode ") + record},
                          logs::repair_messages(0), console_check(0), STARTED}),
                  logs::daemon_log_messages());
        EXPECT_EQ(0, read_writefile_errorcode());
        EXPECT_TRUE(svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 3000));
    }
}

TEST_F(Pass, FailedRepairKeepsTheRecordAndIsTriedAgain)
{
    ASSERT_TRUE(agent_fixture::start());
    ts::reg_set_sz(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE, "995");
    doubles::set_devcon_failures("disable", 3);

    EXPECT_TRUE(pass());
    lines messages = logs::daemon_log_messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ("get writefile errorcode 995", messages.front());
    // The agent stopped by the failed repair is started again in this pass.
    EXPECT_EQ(concat({{"failed to disable virtio console device!",
                       "failed to restart_consle_dev"},
                      console_check(0), STARTED}),
              lines(messages.end() - 5, messages.end()));
    EXPECT_EQ(995, read_writefile_errorcode());
    EXPECT_TRUE(svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 3000));
}

TEST_F(Pass, SixthStoppedAgentWithoutConsoleEndsTheLoop)
{
    doubles::remove_devcon_doubles();
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(pass()) << i;
    EXPECT_FALSE(pass());
    EXPECT_EQ(concat({counted(0), counted(1), counted(2), counted(3), counted(4), NO_CONSOLE}),
              logs::daemon_log_messages());
}

TEST_F(Pass, OnlyAStoppedAgentWithConsoleResetsTheCount)
{
    // The device is disabled: the status test runs and findstr finds no "running".
    doubles::set_devcon_state(DEVCON_STATE_DISABLED);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(pass());
    EXPECT_EQ(3, counters.no_console_count);

    // A running agent leaves the count alone.
    ASSERT_TRUE(agent_fixture::start());
    EXPECT_TRUE(pass());
    EXPECT_EQ(3, counters.no_console_count);

    // Stopped with the device running: count reset, agent started.
    ASSERT_TRUE(agent_fixture::crash());
    doubles::set_devcon_state(DEVCON_STATE_ENABLED);
    EXPECT_TRUE(pass());
    EXPECT_EQ(0, counters.no_console_count);
    ASSERT_TRUE(svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 3000));

    ASSERT_TRUE(agent_fixture::crash());
    doubles::set_devcon_state(DEVCON_STATE_DISABLED);
    logs::clear_daemon_log();
    EXPECT_TRUE(pass());
    EXPECT_EQ(concat({console_check(1), counted(0)}), logs::daemon_log_messages());
}

// The shell cannot be started: the agent is neither started nor counted as
// without console device, however often.
TEST_F(Pass, ConsoleCheckThatCannotRunNeitherStartsNorGivesUp)
{
    invoke_shell_path = "C:\\gt_test\\no_such_folder\\cmd.exe";
    const lines not_run = {"check_serial_dev cmd=" + STATUS_COMMAND,
                           "[ZRVGrade] invokeExeFile " + STATUS_COMMAND + " failed",
                           "CreateProcessA \"C:\\gt_test\\no_such_folder\\cmd.exe\" failed (3)",
                           "check_serial_dev could not run the check"};
    counters.no_console_count = 4;
    for (int i = 0; i < 7; ++i) {
        logs::clear_daemon_log();
        EXPECT_TRUE(pass()) << i;
        EXPECT_EQ(not_run, logs::daemon_log_messages()) << i;
    }
    EXPECT_EQ(4, counters.no_console_count);
    EXPECT_EQ(DWORD(SERVICE_STOPPED), agent_fixture::state());

    invoke_shell_path = nullptr;
    logs::clear_daemon_log();
    EXPECT_TRUE(pass());
    EXPECT_EQ(concat({console_check(0), STARTED}), logs::daemon_log_messages());
    EXPECT_EQ(0, counters.no_console_count);
}

TEST_F(Pass, RefusedStartIsLoggedWithItsError)
{
    {
        unique_sc_handle agent(OpenServiceA(manager.get(), AGENT_SERVICE_NAME, SERVICE_ALL_ACCESS));
        ASSERT_TRUE(ChangeServiceConfigA(agent.get(), SERVICE_NO_CHANGE, SERVICE_DISABLED,
                                         SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr));
    }
    EXPECT_TRUE(pass());
    EXPECT_EQ(concat({console_check(0), {"StartService sen-drik failed (1058)" + NL}}),
              logs::daemon_log_messages());
    EXPECT_EQ(0, counters.no_console_count);
}

TEST_F(Pass, LogSizeCheckedEverySixtiethPass)
{
    ASSERT_TRUE(agent_fixture::start());
    // The check's probe of the missing log is what shows that it ran.
    const lines probe = {"open " + logs::daemon_log_path() + " failed!" + NL};
    struct {
        unsigned passes_before;
        bool checked;
    } rows[] = {{0, false}, {59, false}, {60, true}, {61, false}, {120, true}};
    for (const auto& row : rows) {
        logs::clear_daemon_log();
        counters.passes_since_log_check = row.passes_before;
        EXPECT_TRUE(pass());
        EXPECT_EQ(row.checked ? probe : lines{}, logs::daemon_log_messages()) << row.passes_before;
    }
}

TEST_F(Pass, LoopReturnsWhyItEnded)
{
    doubles::remove_devcon_doubles();
    ts::reg_set_dword(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY, TEST_PERIOD_VALUE, 10);
    const DWORD shipped_period = supervise_period_ms;
    apply_test_seams();
    EXPECT_EQ(10u, supervise_period_ms);
    EXPECT_EQ(WATCHDOG_EXIT_NO_CONSOLE, supervise_agent());
    supervise_period_ms = shipped_period;
    lines messages = logs::daemon_log_messages();
    ASSERT_EQ(12u, messages.size());   // the start's log probe, then six passes
    EXPECT_EQ(NO_CONSOLE, lines(messages.end() - 1, messages.end()));
}

// The key cannot be taken away under Wine (HARDWARE is volatile and is not
// created again): the platform check's failure report is called directly.
TEST(PlatformCheckFailure, LoggedWithItsOwnLineBreakAndTheFormats)
{
    logs::clear_daemon_log();
    log_platform_open_failure();
    EXPECT_EQ(lines{"RegOpenKeyEx failed." + NL + NL}, logs::daemon_log_messages());
}

} // namespace
