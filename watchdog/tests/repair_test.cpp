// Repairs run real children through Cmd.exe: the devcon and findstr doubles,
// and the agent service double with Wine's sc, or the sc double where a test
// needs Windows' exit code 1062 for a service that is not running (Wine's sc
// exits 1) or an agent state it controls.
#include "agent_fixture.h"
#include "console_repair.h"
#include "contract.h"
#include "child_process.h"
#include "daemon_log.h"
#include "desktop.h"
#include "double_control.h"
#include "event_report.h"
#include "doubles_fixture.h"
#include "handles.h"
#include "log_records.h"
#include "repair_record.h"
#include "test_support.h"
#include "test_seams.h"
#include "watchdog_seams.h"

#include <gtest/gtest.h>

namespace {

typedef std::vector<std::string> lines;

const std::string STOP_COMMAND = AGENT_STOP_COMMAND;
const std::string DISABLE_CALL = "disable " CONSOLE_HARDWARE_ID;
const std::string ENABLE_CALL = "enable " CONSOLE_HARDWARE_ID;
const std::string STOP_CALL = "stop " AGENT_SERVICE_NAME;

// Spelled out here rather than taken from the program's format.
std::string device_command(const char* tool, const char* word)
{
    return std::string("Cmd.exe /C \"\"") + tool + "\" " + word + " \"pci\\ven_1af4&dev_1003\"\"";
}

// The two records of one device command with its exit code.
lines device_records(const char* tool, const char* word, int exit_code)
{
    std::string command = device_command(tool, word);
    return {"enable_disable_serial_dev cmd=" + command,
            command + " Exit code = " + std::to_string(exit_code)};
}

lines concat(std::initializer_list<lines> parts)
{
    lines all;
    for (const lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class Repair : public ::testing::Test {
protected:
    void SetUp() override
    {
        logs::clear_daemon_log();
        doubles::reset_devcon();
        doubles::reset_sc();
        doubles::remove_devcon_doubles();
        ASSERT_TRUE(doubles::install_devcon_double(DEVCON_PATH_1));
        ASSERT_TRUE(doubles::install_findstr_double());
        ASSERT_TRUE(doubles::install_sc_double());
        ts::reg_set_sz(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE, "995");
    }
    void TearDown() override
    {
        doubles::remove_devcon_doubles();
        doubles::reset_devcon();
        doubles::reset_sc();
        doubles::uninstall_sc_double();
        doubles::uninstall_findstr_double();
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY);
    }
};

TEST_F(Repair, AllPhasesSucceed)
{
    // The agent service double and Wine's own sc this time.
    doubles::uninstall_sc_double();
    ASSERT_TRUE(agent_fixture::install());
    scope_exit remove_agent([] { agent_fixture::remove(); });
    ASSERT_TRUE(agent_fixture::start());

    EXPECT_EQ(1, restart_consle_dev());
    EXPECT_EQ(concat({{STOP_COMMAND + " Exit code = 0", "stop sen-drik service successfully!"},
                      device_records(DEVCON_PATH_1, "disable", 0),
                      {"disable virtio console device successfully!"},
                      device_records(DEVCON_PATH_1, "enable", 0),
                      {"enable virtio console device successfully!"}}),
              logs::daemon_log_messages());
    EXPECT_EQ((lines{DISABLE_CALL, ENABLE_CALL}), doubles::devcon_calls());
    EXPECT_EQ(DEVCON_STATE_ENABLED, doubles::devcon_state());
    EXPECT_TRUE(svc::wait_state(AGENT_SERVICE_NAME, SERVICE_STOPPED, 5000));

    clear_writefile_errorcode();
    std::string bytes;
    ASSERT_TRUE(ts::reg_get(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE, &bytes));
    EXPECT_STREQ("0", bytes.c_str());
    EXPECT_EQ(0, read_writefile_errorcode());
}

TEST_F(Repair, DisableFailingTwiceThenSucceeding)
{
    doubles::set_devcon_failures("disable", 2);
    EXPECT_EQ(1, restart_consle_dev());
    EXPECT_EQ(concat({{STOP_COMMAND + " Exit code = 0", "stop sen-drik service successfully!"},
                      device_records(DEVCON_PATH_1, "disable", 1),
                      device_records(DEVCON_PATH_1, "disable", 1),
                      device_records(DEVCON_PATH_1, "disable", 0),
                      {"disable virtio console device successfully!"},
                      device_records(DEVCON_PATH_1, "enable", 0),
                      {"enable virtio console device successfully!"}}),
              logs::daemon_log_messages());
    EXPECT_EQ((lines{DISABLE_CALL, DISABLE_CALL, DISABLE_CALL, ENABLE_CALL}),
              doubles::devcon_calls());
}

TEST_F(Repair, PhaseFailingThreeTimesUndoesNothing)
{
    struct {
        const char* name;
        const char* agent;
        const char* failing_verb;
        const char* message;
        lines devcon_calls;
        const char* device_after;
        size_t sc_calls;
    } rows[] = {
        {"stop", SC_AGENT_ABSENT, nullptr, "failed to stop sen-drik service!", {},
         DEVCON_STATE_ENABLED, 3},
        {"disable", SC_AGENT_RUNNING, "disable", "failed to disable virtio console device!",
         {DISABLE_CALL, DISABLE_CALL, DISABLE_CALL}, DEVCON_STATE_ENABLED, 1},
        {"enable", SC_AGENT_RUNNING, "enable", "failed to enable virtio console device!",
         {DISABLE_CALL, ENABLE_CALL, ENABLE_CALL, ENABLE_CALL}, DEVCON_STATE_DISABLED, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        logs::clear_daemon_log();
        doubles::reset_devcon();
        doubles::reset_sc();
        doubles::set_agent_state(row.agent);
        if (row.failing_verb)
            doubles::set_devcon_failures(row.failing_verb, 3);

        EXPECT_EQ(0, restart_consle_dev());

        lines messages = logs::daemon_log_messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(row.message, messages.back());
        EXPECT_EQ(row.devcon_calls, doubles::devcon_calls());
        EXPECT_EQ(row.sc_calls, doubles::sc_calls().size());
        EXPECT_EQ(row.device_after, doubles::devcon_state());
        EXPECT_EQ(995, read_writefile_errorcode());
    }
}

TEST_F(Repair, AfterAFailedEnablePhaseTheNextRepairGoesThrough)
{
    // What a repair that failed in its enable phase leaves behind.
    doubles::set_agent_state(SC_AGENT_STOPPED);
    doubles::set_devcon_state(DEVCON_STATE_DISABLED);

    EXPECT_EQ(1, restart_consle_dev());
    lines messages = logs::daemon_log_messages();
    ASSERT_EQ(8u, messages.size());
    EXPECT_EQ(STOP_COMMAND + " Exit code = 1062", messages[0]);
    EXPECT_EQ("stop sen-drik service successfully!", messages[1]);
    EXPECT_EQ(DEVCON_STATE_ENABLED, doubles::devcon_state());
    EXPECT_EQ(1, check_serial_dev());
}

TEST_F(Repair, NoDeviceToolAtEitherPlace)
{
    doubles::remove_devcon_doubles();
    EXPECT_EQ(0, enable_disable_serial_dev(0));
    EXPECT_EQ(0, enable_disable_serial_dev(1));
    EXPECT_EQ(0, check_serial_dev());
    EXPECT_TRUE(logs::daemon_log_messages().empty());

    EXPECT_EQ(0, restart_consle_dev());
    EXPECT_EQ((lines{STOP_COMMAND + " Exit code = 0", "stop sen-drik service successfully!",
                     "failed to disable virtio console device!"}),
              logs::daemon_log_messages());
    EXPECT_EQ(SC_AGENT_STOPPED, doubles::agent_state());
    EXPECT_TRUE(doubles::devcon_calls().empty());
}

TEST_F(Repair, ToolPlaceDecidesEveryCommand)
{
    struct {
        const char* name;
        std::vector<const char*> installed;
        const char* used;
    } rows[] = {
        {"only under Program Files (x86)", {DEVCON_PATH_2}, DEVCON_PATH_2},
        {"in both places", {DEVCON_PATH_2, DEVCON_PATH_1}, DEVCON_PATH_1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        doubles::remove_devcon_doubles();
        for (const char* path : row.installed)
            ASSERT_TRUE(doubles::install_devcon_double(path));
        doubles::reset_sc();
        logs::clear_daemon_log();

        EXPECT_EQ(1, restart_consle_dev());
        lines messages = logs::daemon_log_messages();
        lines expected = concat({device_records(row.used, "disable", 0),
                                 {"disable virtio console device successfully!"},
                                 device_records(row.used, "enable", 0)});
        ASSERT_EQ(8u, messages.size());
        EXPECT_EQ(expected, lines(messages.begin() + 2, messages.end() - 1));

        logs::clear_daemon_log();
        EXPECT_EQ(1, check_serial_dev());
        EXPECT_EQ(0u, logs::daemon_log_messages().at(0).find(
                           std::string("check_serial_dev cmd=Cmd.exe /C \"\"") + row.used + "\""));
    }
}

TEST_F(Repair, StatusCheckFollowsTheDevice)
{
    std::string command = std::string("Cmd.exe /C \"\"") + DEVCON_PATH_1 +
                          "\" status \"pci\\ven_1af4&dev_1003\" | findstr running\"";
    struct {
        const char* state;
        DWORD status_failures;
        int expected;
    } rows[] = {
        {DEVCON_STATE_ENABLED, 0, 1},
        {DEVCON_STATE_DISABLED, 0, 0},
        {DEVCON_STATE_ABSENT, 0, 0},
        {DEVCON_STATE_ENABLED, 1, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.state);
        logs::clear_daemon_log();
        doubles::reset_devcon();
        doubles::set_devcon_state(row.state);
        doubles::set_devcon_failures("status", row.status_failures);
        EXPECT_EQ(row.expected, check_serial_dev());
        EXPECT_EQ((lines{"check_serial_dev cmd=" + command,
                         command + " Exit code = " + std::to_string(1 - row.expected)}),
                  logs::daemon_log_messages());
    }
}

TEST_F(Repair, OnlyActionsZeroAndOneRunAnything)
{
    for (int action : {-1, 2, 100}) {
        EXPECT_EQ(0, enable_disable_serial_dev(action)) << action;
    }
    EXPECT_TRUE(logs::daemon_log_messages().empty());
    EXPECT_TRUE(doubles::devcon_calls().empty());
}

// The system's Program Files folder moved (a localized Windows, Windows on
// another drive): the literal folders may be anybody's, and a folder below
// them a junction that its maker re-points between the watchdog's check and
// cmd.exe's own resolution of the path. A Unix symbolic link stands in for
// the junction, and the shell is a double that re-points it at a folder of
// the user's before it runs the command: what runs must be what was checked.
class ProgramFilesMoved : public Repair {
protected:
    void SetUp() override
    {
        Repair::SetUp();
        apply_test_seams();   // the events the test build captures
        ASSERT_TRUE(ts::reg_get(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY, PROGRAM_FILES_DIR_VALUE,
                                &standard_));
        ASSERT_TRUE(ts::reg_set_sz(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY, PROGRAM_FILES_DIR_VALUE,
                                   "C:\\Programme"));
        for (const char* calls : {PLANTED_CMD_CALLS_LOG, SWAPPING_SHELL_CALLS_LOG})
            ts::remove_file(calls);
        // The tool's folder becomes a link to a folder holding the same tool;
        // the user's folder holds a "devcon.exe" that records any run.
        ts::remove_tree(ASIDE);
        ts::remove_tree(USERS);
        ASSERT_TRUE(MoveFileA(BIN, ASIDE)) << GetLastError();
        ts::make_dirs(USERS);
        ASSERT_TRUE(CopyFileA(ts::sibling("planted_cmd.exe").c_str(), (std::string(USERS) + "\\devcon.exe").c_str(),
                              FALSE));
        ASSERT_TRUE(ts::write_file(std::string(USERS) + "\\" SWAP_MARKER_NAME, "the user's"));
        ASSERT_TRUE(ts::start_unix("ln -s '" + ts::unix_path(ASIDE) + "' '" + ts::unix_path(BIN) + "'"));
        ASSERT_TRUE(ts::wait_until([] { return ts::file_exists(DEVCON_PATH_1); }, 5000));
        SetEnvironmentVariableA(SWAP_LINK_ENV, BIN);
        SetEnvironmentVariableA(SWAP_TARGET_ENV, USERS);
        shell_ = ts::sibling("swapping_shell.exe");
        invoke_shell_path = shell_.c_str();
    }
    void TearDown() override
    {
        invoke_shell_path = nullptr;
        SetEnvironmentVariableA(SWAP_LINK_ENV, nullptr);
        SetEnvironmentVariableA(SWAP_TARGET_ENV, nullptr);
        restore_program_files();
        ts::start_unix("rm -f '" + ts::unix_path(BIN) + "'");
        ts::wait_until([] { return GetFileAttributesA(BIN) == INVALID_FILE_ATTRIBUTES; }, 5000);
        MoveFileA(ASIDE, BIN);
        ts::remove_tree(USERS);
        for (const char* calls : {PLANTED_CMD_CALLS_LOG, SWAPPING_SHELL_CALLS_LOG})
            ts::remove_file(calls);
        Repair::TearDown();
    }
    void restore_program_files()
    {
        if (!standard_.empty())
            ts::reg_set_raw(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY, PROGRAM_FILES_DIR_VALUE, REG_SZ,
                            standard_.data(), DWORD(standard_.size()));
    }
    static constexpr const char* BIN = "C:\\Program Files\\virtio\\bin";
    static constexpr const char* ASIDE = "C:\\gt_test\\trusted_bin";
    static constexpr const char* USERS = "C:\\gt_test\\users_bin";
    std::string standard_, shell_;
};

TEST_F(ProgramFilesMoved, NothingBelowTheLiteralFolderRunsOrTakesTheLog)
{
    logs::clear_captured_events();
    reset_event_folds();
    EXPECT_EQ(0, check_serial_dev());
    EXPECT_EQ(0, enable_disable_serial_dev(0));
    // Refused before any shell starts: neither the checked tool nor the
    // user's one ran.
    EXPECT_FALSE(ts::file_exists(SWAPPING_SHELL_CALLS_LOG)) << ts::read_file(SWAPPING_SHELL_CALLS_LOG);
    EXPECT_FALSE(ts::file_exists(PLANTED_CMD_CALLS_LOG)) << ts::read_file(PLANTED_CMD_CALLS_LOG);
    EXPECT_TRUE(doubles::devcon_calls().empty());
    // The log's folder lies below the same literal folder: no record, no
    // rotation; the refusal is still reported as an event.
    EXPECT_FALSE(ts::file_exists(logs::daemon_log_path()));
    ASSERT_TRUE(ts::write_file(logs::daemon_log_path(), std::string(3145729, 'x')));
    check_log_space();
    EXPECT_EQ(3145729u, ts::read_file(logs::daemon_log_path()).size());
    EXPECT_EQ(lines{"1007 2 " + std::string(DEVCON_PATH_1) + "|0"}, logs::captured_events());

    // The system's own folder (administrators only, so no swap): the tool runs.
    restore_program_files();
    invoke_shell_path = nullptr;
    logs::clear_daemon_log();
    EXPECT_EQ(1, enable_disable_serial_dev(1));
    EXPECT_EQ(device_records(DEVCON_PATH_1, "enable", 0), logs::daemon_log_messages());
}

// A monitor folder that is a link (only administrators can make one in the
// system's folder, and the package refuses one at install) is not followed:
// records and rotations are dropped as if it were missing.
TEST_F(Repair, ALogFolderThatIsALinkTakesNoRecord)
{
    const std::string monitor = logs::monitor_folder(), elsewhere = "C:\\gt_test\\linked_monitor";
    ts::remove_tree(elsewhere);
    ASSERT_TRUE(ts::plant_folder_link(monitor, elsewhere)) << GetLastError();
    scope_exit restore([&] {
        ts::put_back_folder(monitor);
        ts::remove_tree(elsewhere);
    });
    EXPECT_EQ(1, check_serial_dev());
    ASSERT_TRUE(ts::write_file(elsewhere + "\\sen-drik-hald.log", std::string(3145729, 'x')));
    check_log_space();
    EXPECT_EQ(std::string(3145729, 'x'), ts::read_file(elsewhere + "\\sen-drik-hald.log"));
    EXPECT_FALSE(ts::file_exists(elsewhere + "\\sen-drik-hald-1.log"));
}

} // namespace
