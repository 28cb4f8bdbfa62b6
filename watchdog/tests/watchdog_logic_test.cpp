// The watchdog's decisions, called directly: command line, service status
// record, supervision counters, the service's command line, the places
// that follow from the system's bitness and the guard of literal Program
// Files folders that are not the system's own; the test build's seams.
#include "child_process.h"
#include "command_line.h"
#include "contract.h"
#include "event_report.h"
#include "guarded_files.h"
#include "handles.h"
#include "program_files_guard.h"
#include "repair_record.h"
#include "service_host.h"
#include "service_install.h"
#include "supervise.h"
#include "system_places.h"
#include "test_seams.h"
#include "test_support.h"
#include "watchdog_seams.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <string>
#include <vector>

namespace {

TEST(CommandLine, OneArgumentOfDashAndLowerCaseLetter)
{
    struct {
        std::vector<const char*> args;
        watchdog_action action;
    } rows[] = {
        {{"w"}, ACTION_USAGE},
        {{"w", "-s"}, ACTION_SERVICE},
        {{"w", "-i"}, ACTION_INSTALL},
        {{"w", "-u"}, ACTION_REMOVE},
        {{"w", "-d"}, ACTION_FOREGROUND},
        {{"w", "-S"}, ACTION_USAGE},
        {{"w", "-D"}, ACTION_USAGE},
        {{"w", "-x"}, ACTION_USAGE},
        {{"w", "-"}, ACTION_USAGE},
        {{"w", ""}, ACTION_USAGE},
        {{"w", "--s"}, ACTION_USAGE},
        {{"w", "s-"}, ACTION_USAGE},
        {{"w", "/s"}, ACTION_USAGE},
        {{"w", "-sx"}, ACTION_USAGE},
        {{"w", "-s", "-d"}, ACTION_USAGE},
        {{"w", "-d", "-d"}, ACTION_USAGE},
    };
    for (const auto& row : rows) {
        std::string shown;
        for (const char* a : row.args)
            shown += std::string("[") + a + "]";
        EXPECT_EQ(row.action, parse_command_line(static_cast<int>(row.args.size()),
                                                 row.args.data()))
            << shown;
    }
    EXPECT_EQ(ACTION_USAGE, parse_command_line(0, nullptr));
}

TEST(CommandLine, UsageNameIsArgvZeroOrTheFixedName)
{
    const char* argv[] = {"C:\\x\\sen-drik-hald.exe", nullptr};
    EXPECT_STREQ("C:\\x\\sen-drik-hald.exe", usage_program_name(1, argv));
    const char* empty[] = {nullptr};
    EXPECT_STREQ("sen_drik_hald", usage_program_name(0, empty));
}

TEST(ServiceStatus, StartsPendingWithStopAndShutdownAccepted)
{
    SERVICE_STATUS s;
    memset(&s, 0xA5, sizeof s);
    init_service_status(&s);
    EXPECT_EQ(0x30u, s.dwServiceType);
    EXPECT_EQ(DWORD(SERVICE_START_PENDING), s.dwCurrentState);
    EXPECT_EQ(5u, s.dwControlsAccepted);
    EXPECT_EQ(0u, s.dwWin32ExitCode);
    EXPECT_EQ(0u, s.dwServiceSpecificExitCode);
    EXPECT_EQ(0u, s.dwCheckPoint);
    EXPECT_EQ(0u, s.dwWaitHint);
}

TEST(ServiceStatus, ControlsChangeOnlyStopAndShutdown)
{
    struct {
        DWORD control;
        DWORD state_after;
    } rows[] = {
        {SERVICE_CONTROL_STOP, SERVICE_STOPPED},
        {SERVICE_CONTROL_SHUTDOWN, SERVICE_STOPPED},
        {SERVICE_CONTROL_INTERROGATE, SERVICE_RUNNING},
        {SERVICE_CONTROL_PAUSE, SERVICE_RUNNING},
        {SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING},
        {SERVICE_CONTROL_PARAMCHANGE, SERVICE_RUNNING},
        {200, SERVICE_RUNNING},
    };
    for (const auto& row : rows) {
        SERVICE_STATUS s;
        init_service_status(&s);
        s.dwCurrentState = SERVICE_RUNNING;
        s.dwWin32ExitCode = 77;   // as if left from elsewhere: a stop resets it
        SERVICE_STATUS before = s;
        apply_service_control(&s, row.control);
        EXPECT_EQ(row.state_after, s.dwCurrentState) << row.control;
        if (row.state_after == SERVICE_STOPPED) {
            EXPECT_EQ(0u, s.dwWin32ExitCode);
        } else {
            EXPECT_EQ(0, memcmp(&before, &s, sizeof s)) << row.control;
        }
        EXPECT_EQ(0x30u, s.dwServiceType);
    }
}

TEST(ServiceStatus, GivingUpStopsWithServiceSpecificCode)
{
    for (int reason : {WATCHDOG_EXIT_NO_MANAGER, WATCHDOG_EXIT_NO_CONSOLE}) {
        SERVICE_STATUS s;
        init_service_status(&s);
        s.dwCurrentState = SERVICE_RUNNING;
        apply_supervision_end(&s, reason);
        EXPECT_EQ(DWORD(SERVICE_STOPPED), s.dwCurrentState);
        EXPECT_EQ(1066u, s.dwWin32ExitCode);
        EXPECT_EQ(DWORD(reason), s.dwServiceSpecificExitCode);
    }
    EXPECT_NE(WATCHDOG_EXIT_NO_MANAGER, WATCHDOG_EXIT_NO_CONSOLE);
}

// The shutdown control cannot be sent under Wine (ControlService refuses it
// with 87): the handler is called here directly.
TEST(ServiceStatus, HandlerStopsOnShutdownAndKeepsRecordOnInterrogate)
{
    init_service_status(&g_ServiceStatus);
    g_ServiceStatus.dwCurrentState = SERVICE_RUNNING;
    g_hServiceStatus = nullptr;
    service_ctrl_handler(SERVICE_CONTROL_INTERROGATE);
    EXPECT_EQ(DWORD(SERVICE_RUNNING), g_ServiceStatus.dwCurrentState);
    service_ctrl_handler(SERVICE_CONTROL_SHUTDOWN);
    EXPECT_EQ(DWORD(SERVICE_STOPPED), g_ServiceStatus.dwCurrentState);
    EXPECT_EQ(0u, g_ServiceStatus.dwWin32ExitCode);
    EXPECT_EQ(0x30u, g_ServiceStatus.dwServiceType);
}

TEST(Supervision, LogCheckFallsInPasses61And121And181)
{
    supervise_counters c = {0, 0, 0};
    std::vector<int> due;
    for (int pass = 1; pass <= 200; ++pass) {
        if (take_log_check_turn(&c))
            due.push_back(pass);
    }
    EXPECT_EQ((std::vector<int>{61, 121, 181}), due);
}

TEST(Supervision, AgentOpenFailureLoggedOncePerRunOfOneError)
{
    const DWORD missing = ERROR_SERVICE_DOES_NOT_EXIST, denied = ERROR_ACCESS_DENIED;
    struct {
        DWORD error;
        bool logged;
    } passes[] = {{ERROR_SUCCESS, false}, {missing, true}, {missing, false}, {denied, true},
                  {missing, true},        {ERROR_SUCCESS, false}, {missing, true}};
    supervise_counters c = {0, 0, 0};
    for (size_t i = 0; i < sizeof passes / sizeof passes[0]; ++i)
        EXPECT_EQ(passes[i].logged, take_agent_open_result(&c, passes[i].error)) << "pass " << i;
}

TEST(Supervision, RepairCodes)
{
    struct {
        int code;
        bool repair;
    } rows[] = {{995, true}, {554, true}, {0, false}, {1995, false}, {5540, false}, {-1, false}};
    for (const auto& row : rows)
        EXPECT_EQ(row.repair, is_repair_code(row.code)) << row.code;
}

TEST(Supervision, AgentStartedOnlyWhenStoppedOrStopping)
{
    struct {
        DWORD state;
        bool start;
    } rows[] = {
        {SERVICE_STOPPED, true},          {SERVICE_START_PENDING, false},
        {SERVICE_STOP_PENDING, true},     {SERVICE_RUNNING, false},
        {SERVICE_CONTINUE_PENDING, false}, {SERVICE_PAUSE_PENDING, false},
        {SERVICE_PAUSED, false},          {0, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.start, agent_needs_start(row.state)) << row.state;
}

TEST(Supervision, ConsoleVerdicts)
{
    struct {
        int count;
        int console;   // check_serial_dev: 1 running, 0 not, -1 could not run
        console_verdict verdict;
    } rows[] = {
        {0, 1, CONSOLE_START_AGENT},     {5, 1, CONSOLE_START_AGENT},
        {0, 0, CONSOLE_MISSING_COUNT},   {4, 0, CONSOLE_MISSING_COUNT},
        {5, 0, CONSOLE_MISSING_GIVE_UP}, {0, -1, CONSOLE_NOT_CHECKED},
        {5, -1, CONSOLE_NOT_CHECKED},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.verdict, judge_console(row.count, row.console))
            << row.count << " " << row.console;
}

TEST(Bitness, LogFolderAndDeviceToolFollowTheSystem)
{
    const char* const PF = PROGRAM_FILES_FOLDER;
    struct {
        const char* system;
        bool x64_build;
        wow64_lookup lookup;
        const char* folder;
        bool second_tool_allowed;
    } rows[] = {
        {"x64 build", true, {true, FALSE}, PF, true},
        {"32-bit build on 64-bit Windows", false, {true, TRUE}, PROGRAM_FILES_X86_FOLDER, true},
        {"32-bit Windows", false, {true, FALSE}, PF, false},
        {"no IsWow64Process (Windows 2000)", false, {false, FALSE}, PF, false},
        {"no IsWow64Process, stray TRUE", false, {false, TRUE}, PF, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.system);
        EXPECT_STREQ(row.folder, program_files_folder_for(row.lookup));
        bool is64 = system_is_64bit(row.x64_build, row.lookup);
        EXPECT_STREQ(row.second_tool_allowed ? DEVCON_PATH_2 : nullptr,
                     devcon_candidate(is64, false, true));
        EXPECT_STREQ(DEVCON_PATH_1, devcon_candidate(is64, true, true));
        EXPECT_STREQ(nullptr, devcon_candidate(is64, false, false));
    }
}

TEST(ProgramFilesGuard, LiteralFolderAgainstTheRegistrysFolder)
{
    const char* const PF = PROGRAM_FILES_FOLDER;
    EXPECT_TRUE(same_folder(PF, "c:\\PROGRAM FILES\\"));
    EXPECT_TRUE(same_folder(PROGRAM_FILES_X86_FOLDER, "C:\\Program Files (x86)"));
    for (const char* other : {"C:\\Programme", "D:\\Program Files", "C:\\Program Files (x86)",
                              "C:\\Program Fil", "C:\\Program Files\\\\", ""})
        EXPECT_FALSE(same_folder(PF, other)) << other;
    EXPECT_STREQ("ProgramFilesDir", program_files_value_for(PF));
    EXPECT_STREQ("ProgramFilesDir (x86)", program_files_value_for(PROGRAM_FILES_X86_FOLDER));
}

TEST(Install, ServiceCommandLineIsQuotedPathAndDashS)
{
    struct {
        std::string path;
        std::string command;
    } rows[] = {
        {"C:\\w\\sen-drik-hald.exe", "\"C:\\w\\sen-drik-hald.exe\" -s"},
        {"C:\\Program Files\\virtio\\sen-drik-hald.exe",
         "\"C:\\Program Files\\virtio\\sen-drik-hald.exe\" -s"},
        {std::string(259, 'p'), "\"" + std::string(259, 'p') + "\" -s"},
    };
    for (const auto& row : rows) {
        char command[SERVICE_COMMAND_CAPACITY];
        memset(command, 'X', sizeof command);
        format_service_command(row.path.c_str(), command);
        EXPECT_EQ(row.command, command);
    }
}

TEST(Install, DescriptionWrittenWithoutItsNul)
{
    EXPECT_EQ(21u, description_data_size());
}

// The tunables hold the shipped values until the test build's seams are
// applied; the registry periods then replace them only as REG_DWORDs (a
// text left in the key must not make a period of 0, a spinning loop).
TEST(TestSeams, ShippedValuesUntilAppliedThenOnlyDwordPeriods)
{
    EXPECT_EQ(10000u, supervise_period_ms);
    EXPECT_EQ(600000u, event_fold_period_ms);
    EXPECT_EQ(120000u, invoke_limit_ms);
    EXPECT_EQ(nullptr, invoke_shell_path);
    EXPECT_EQ(nullptr, event_sink);
    EXPECT_EQ(&read_file_owner_of_object, read_file_owner);
    EXPECT_EQ(&ask_is_wow64_process, look_up_wow64);

    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY);
    apply_test_seams();
    EXPECT_EQ(10000u, supervise_period_ms);
    EXPECT_EQ(600000u, event_fold_period_ms);
    EXPECT_NE(nullptr, event_sink);
    EXPECT_EQ(&ask_is_wow64_process, look_up_wow64);   // GT_NO_WOW64_LOOKUP is not set

    ASSERT_TRUE(ts::reg_set_sz(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY, TEST_PERIOD_VALUE, "10"));
    ASSERT_TRUE(ts::reg_set_dword(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY, TEST_EVENT_FOLD_VALUE, 0));
    apply_test_seams();
    EXPECT_EQ(10000u, supervise_period_ms);
    EXPECT_EQ(0u, event_fold_period_ms);
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY);
    event_fold_period_ms = 600000;
}

// The made-up owner is read at every call: of every file, or of the one
// file named by its index; unset, the real read answers.
TEST(TestSeams, MadeUpOwnerOfEveryFileOrOfOneFile)
{
    apply_test_seams();
    ts::make_dirs("C:\\gt_test");
    const std::string a = "C:\\gt_test\\owned_a.txt", b = "C:\\gt_test\\owned_b.txt";
    ASSERT_TRUE(ts::write_file(a, "a"));
    ASSERT_TRUE(ts::write_file(b, "b"));
    unique_handle file_a(CreateFileA(a.c_str(), READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    unique_handle file_b(CreateFileA(b.c_str(), READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    ASSERT_TRUE(GetFileInformationByHandle(file_a.get(), &info));
    const std::string index = std::to_string(info.nFileIndexHigh) + ":" + std::to_string(info.nFileIndexLow);

    const file_owner real = read_file_owner_of_object(file_b.get());
    EXPECT_TRUE(owner_is_trusted(real)) << real;   // Wine: this account's
    SetEnvironmentVariableA(TEST_LOG_OWNER_ENV, "S-1-5-32-544");
    EXPECT_EQ(OWNER_ADMINISTRATORS, read_file_owner(file_a.get()));
    EXPECT_EQ(OWNER_ADMINISTRATORS, read_file_owner(file_b.get()));
    SetEnvironmentVariableA(TEST_LOG_OWNER_ENV, "S-1-5-21-1-2-3-1001");
    SetEnvironmentVariableA(TEST_OWNED_FILE_ENV, index.c_str());
    EXPECT_EQ(OWNER_OTHER, read_file_owner(file_a.get()));
    EXPECT_EQ(real, read_file_owner(file_b.get()));
    SetEnvironmentVariableA(TEST_LOG_OWNER_ENV, nullptr);
    SetEnvironmentVariableA(TEST_OWNED_FILE_ENV, nullptr);
    EXPECT_EQ(real, read_file_owner(file_a.get()));
}

} // namespace
