#include "child_process.h"
#include "contract.h"
#include "doubles_fixture.h"
#include "log_records.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdio.h>

namespace {

typedef std::vector<std::string> lines;

std::string device_command(const char* word)
{
    char command[260];
    snprintf(command, sizeof command, DEVCON_ACTION_COMMAND_FORMAT, DEVCON_PATH_1, word);
    return command;
}

std::string status_command()
{
    char command[260];
    snprintf(command, sizeof command, DEVCON_STATUS_COMMAND_FORMAT, DEVCON_PATH_1);
    return command;
}

int invoke(const std::string& command)
{
    std::vector<char> writable(command.begin(), command.end());
    writable.push_back('\0');
    return invokeExeFile(writable.data());
}

class Invoke : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(doubles::fresh_device_doubles());
    }
    void TearDown() override
    {
        invoke_limit_ms = 120000;
        invoke_shell_path = nullptr;
        ts::kill_all_named("devcon.exe");
        ts::kill_all_named("findstr.exe");
        doubles::reset_devcon();
        doubles::remove_devcon_doubles();
        doubles::uninstall_findstr_double();
    }
};

TEST_F(Invoke, GivesTheExitCodeAndLogsIt)
{
    struct {
        const char* command;
        int exit_code;
        const char* logged;
    } rows[] = {
        {"Cmd.exe /C exit 0", 0, "Cmd.exe /C exit 0 Exit code = 0"},
        {"Cmd.exe /C exit 7", 7, "Cmd.exe /C exit 7 Exit code = 7"},
        {"Cmd.exe /C exit 1062", 1062, "Cmd.exe /C exit 1062 Exit code = 1062"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        logs::clear_daemon_log();
        EXPECT_EQ(row.exit_code, invoke(row.command));
        EXPECT_EQ(lines{row.logged}, logs::daemon_log_messages());
    }

    logs::clear_daemon_log();
    invoke_shell_path = "C:\\gt_test\\no_such_folder\\cmd.exe";
    EXPECT_EQ(-1, invoke("Cmd.exe /C exit 0"));
    EXPECT_EQ((lines{"[ZRVGrade] invokeExeFile Cmd.exe /C exit 0 failed",
                     "CreateProcessA \"C:\\gt_test\\no_such_folder\\cmd.exe\" failed (3)"}),
              logs::daemon_log_messages());
}

TEST_F(Invoke, HangingToolIsEndedWithItsWholeTree)
{
    invoke_limit_ms = 1500;
    std::vector<DWORD> shells_before = ts::processes_named("cmd.exe");
    struct {
        const char* hang;
        std::string command;
    } rows[] = {{"disable", device_command("disable")}, {"status", status_command()}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.hang);
        logs::clear_daemon_log();
        doubles::set_devcon_hang(row.hang);

        DWORD start = GetTickCount();
        EXPECT_EQ(-1, invoke(row.command));
        DWORD took = GetTickCount() - start;
        EXPECT_GE(took, 1400u);
        EXPECT_LT(took, 6000u);

        EXPECT_EQ(lines{"[ZRVGrade] invokeExeFile " + row.command + " timed out"},
                  logs::daemon_log_messages());
        EXPECT_EQ(lines{std::string(row.hang) + " " CONSOLE_HARDWARE_ID}, doubles::devcon_calls());
        EXPECT_TRUE(ts::wait_until([] { return ts::processes_named("devcon.exe").empty(); }, 2000));
        EXPECT_TRUE(ts::processes_named("findstr.exe").empty());
        for (DWORD id : ts::processes_named("cmd.exe"))
            EXPECT_NE(shells_before.end(), std::find(shells_before.begin(), shells_before.end(), id))
                << "shell " << id << " left behind";
        doubles::reset_devcon();
    }
}

} // namespace
