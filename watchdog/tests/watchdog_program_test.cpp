// The real sen-drik-hald.exe of this build, run from the command line and
// under the service control manager, with the agent and device doubles (and
// the real tray for the idle objects).
// Pass periods come from the test-build registry seam.
#include "agent_fixture.h"
#include "contract.h"
#include "double_control.h"
#include "doubles_fixture.h"
#include "gt_version.h"
#include "handles.h"
#include "log_records.h"
#include "process_lookup.h"
#include "service_recovery.h"
#include "tray_run.h"
#include "test_names.h"
#include "test_support.h"
#include "tray_driver.h"
#include "tray_seams.h"
#include "watchdog_seams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <stdio.h>
#include <stdlib.h>

namespace {

typedef std::vector<std::string> lines;

const std::string NL = "\r\n";   // a message's own line feed, as the text-mode log stores it
const std::string BLANKS_FOLDER = "C:\\gt_test\\path with blanks";
const std::string BLANKS_EXE = BLANKS_FOLDER + "\\" WATCHDOG_IMAGE_NAME;
const std::string OUTPUT_FILE = "C:\\gt_test\\watchdog_stdout.txt";

std::string watchdog_exe()
{
    return ts::sibling(WATCHDOG_IMAGE_NAME);
}

std::string in_quotes(const std::string& path)
{
    return "\"" + path + "\"";
}

ts::run_result run_watchdog(const std::string& args, const std::string& exe = watchdog_exe())
{
    return ts::run(in_quotes(exe) + (args.empty() ? "" : " " + args), 10000);
}

void set_period(DWORD ms)
{
    ts::reg_set_dword(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY, TEST_PERIOD_VALUE, ms);
}

std::vector<DWORD> watchdog_processes()
{
    return ts::processes_named(WATCHDOG_IMAGE_NAME);
}

bool no_watchdog_process()
{
    return ts::wait_until([] { return watchdog_processes().empty(); }, 3000);
}

const std::string STATUS_COMMAND = logs::status_command();

// Messages of the log from `first` on.
lines messages_from(size_t first)
{
    lines all = logs::daemon_log_messages();
    return first < all.size() ? lines(all.begin() + first, all.end()) : lines{};
}

// Restart after 60 s twice, then nothing; the count reset after a day. Wine
// keeps no failure actions (QueryServiceConfig2A fails with 124): then what
// the program hands to ChangeServiceConfig2A is checked instead.
void expect_failure_actions(SC_HANDLE manager)
{
    unique_sc_handle service(OpenServiceA(manager, WATCHDOG_SERVICE_NAME, SERVICE_QUERY_CONFIG));
    union {
        SERVICE_FAILURE_ACTIONSA actions;
        char bytes[1024];
    } queried;
    memset(&queried, 0xA5, sizeof queried);
    DWORD needed = 0;
    failure_actions handed;
    build_failure_actions(&handed);
    const SERVICE_FAILURE_ACTIONSA* c = &handed.config;
    if (QueryServiceConfig2A(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS,
                             reinterpret_cast<BYTE*>(&queried), sizeof queried, &needed))
        c = &queried.actions;
    const SC_ACTION expected[] = {{SC_ACTION_RESTART, 60000}, {SC_ACTION_RESTART, 60000}, {SC_ACTION_NONE, 0}};
    EXPECT_EQ(86400u, c->dwResetPeriod);
    ASSERT_EQ(3u, c->cActions);
    EXPECT_EQ(0, memcmp(expected, c->lpsaActions, sizeof expected));
}

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        cleanup();
        logs::clear_daemon_log();
        logs::clear_captured_events();
        ts::make_dirs(BLANKS_FOLDER);
        ASSERT_TRUE(doubles::install_devcon_double(DEVCON_PATH_1));
    }
    void TearDown() override { cleanup(); }
    static void cleanup()
    {
        agent_fixture::remove_watchdog_setup();
        doubles::uninstall_sc_double();
        doubles::uninstall_findstr_double();
        ts::set_manufacturer("QEMU");
        ts::remove_tree(BLANKS_FOLDER);
        ts::remove_file(OUTPUT_FILE);
    }
    // Installs the watchdog from a path with blanks and starts it.
    void start_service(DWORD period_ms)
    {
        set_period(period_ms);
        ASSERT_TRUE(CopyFileA(watchdog_exe().c_str(), BLANKS_EXE.c_str(), FALSE));
        ASSERT_EQ(0u, run_watchdog("-i", BLANKS_EXE).exit_code);
        ASSERT_EQ((lines{"Change service description successed!" + NL, "Service installed" + NL}),
                  logs::daemon_log_messages());
        logs::clear_captured_events();
        ASSERT_TRUE(svc::start(WATCHDOG_SERVICE_NAME)) << GetLastError();
        ASSERT_TRUE(svc::wait_state(WATCHDOG_SERVICE_NAME, SERVICE_RUNNING, 3000));
        // The service checks its log's size after reporting running, then
        // reports that supervision started: the log is cleared only then.
        ASSERT_TRUE(ts::wait_until(
            [] {
                lines events = logs::captured_events();
                return !events.empty() && events.front().compare(0, 5, "1000 ") == 0;
            },
            10000));
        logs::clear_daemon_log();
    }
};

TEST_F(Program, WrongCommandLinesPrintUsageAndLogNothing)
{
    const char* rows[] = {"", "-S", "-x", "-", "--s", "s-", "-sx", "-D", "-s -d"};
    std::string exe = watchdog_exe();
    std::string usage = "Options:\r\n -s run " + exe + " as service\r\n -i install " + exe +
                        " service\r\n -u uninstall " + exe + " service\r\n";
    for (const char* args : rows) {
        SCOPED_TRACE(std::string("[") + args + "]");
        ts::write_file(OUTPUT_FILE, "poison");
        ts::run_result r = ts::run("Cmd.exe /C \"" + in_quotes(exe) + " " + args + " > " +
                                       in_quotes(OUTPUT_FILE) + "\"",
                                   10000);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(1u, r.exit_code);
        EXPECT_EQ(usage, ts::read_file(OUTPUT_FILE));
    }
    EXPECT_FALSE(ts::file_exists(logs::daemon_log_path()));
}

TEST_F(Program, ServiceOptionOnXenLogsNotKvm)
{
    for (const char* maker : {"Xen", "XenSource"}) {
        SCOPED_TRACE(maker);
        logs::clear_daemon_log();
        ts::set_manufacturer(maker);
        ts::run_result r = run_watchdog("-s");
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(0u, r.exit_code);
        EXPECT_EQ(lines{"not kvm"}, logs::daemon_log_messages());
    }
}

TEST_F(Program, ServiceOptionFromAConsoleEndsSilently)
{
    // Wine's dispatcher first tries the control pipe of the service process
    // started last and waits about 10 s while that process still runs: let
    // the last one be an agent double that has ended.
    ASSERT_TRUE(agent_fixture::install());
    ASSERT_TRUE(agent_fixture::start());
    ASSERT_TRUE(svc::stop(AGENT_SERVICE_NAME));
    ASSERT_TRUE(ts::wait_until([] { return ts::processes_named(AGENT_DOUBLE_IMAGE).empty(); },
                               10000));

    ts::run_result r = run_watchdog("-s");
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ(lines{}, logs::daemon_log_messages());
}

TEST_F(Program, InstallRegistersTheServiceAsSpecified)
{
    ASSERT_TRUE(CopyFileA(watchdog_exe().c_str(), BLANKS_EXE.c_str(), FALSE));
    for (const std::string& exe : {watchdog_exe(), BLANKS_EXE}) {
        SCOPED_TRACE(exe);
        svc::remove(WATCHDOG_SERVICE_NAME);
        logs::clear_daemon_log();

        ts::run_result r = run_watchdog("-i", exe);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(0u, r.exit_code);
        EXPECT_EQ((lines{"Change service description successed!" + NL, "Service installed" + NL}),
                  logs::daemon_log_messages());

        unique_sc_handle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        unique_sc_handle service(
            OpenServiceA(manager.get(), WATCHDOG_SERVICE_NAME, SERVICE_QUERY_CONFIG));
        ASSERT_TRUE(service);
        union {
            QUERY_SERVICE_CONFIGA config;
            char bytes[8192];
        } buffer;
        memset(&buffer, 0xA5, sizeof buffer);
        DWORD needed = 0;
        ASSERT_TRUE(QueryServiceConfigA(service.get(), &buffer.config, sizeof buffer, &needed));
        const QUERY_SERVICE_CONFIGA& c = buffer.config;
        EXPECT_EQ(DWORD(SERVICE_WIN32_OWN_PROCESS), c.dwServiceType);
        EXPECT_EQ(DWORD(SERVICE_AUTO_START), c.dwStartType);
        EXPECT_EQ(DWORD(SERVICE_ERROR_NORMAL), c.dwErrorControl);
        EXPECT_EQ(in_quotes(exe) + " -s", c.lpBinaryPathName);
        EXPECT_STREQ("LocalSystem", c.lpServiceStartName);
        EXPECT_STREQ("Ondrix Daemon Service", c.lpDisplayName);
        EXPECT_STREQ("", c.lpDependencies);
        EXPECT_STREQ("", c.lpLoadOrderGroup);

        std::string description;
        DWORD type = 0;
        ASSERT_TRUE(ts::reg_get(HKEY_LOCAL_MACHINE, SERVICES_KEY "\\" WATCHDOG_SERVICE_NAME,
                                SERVICE_DESCRIPTION_VALUE, &description, &type));
        EXPECT_EQ(DWORD(REG_SZ), type);
        // Written with 21 bytes; like Windows NT, Wine also stores the NUL
        // that follows them, so 22 bytes read back.
        EXPECT_EQ(std::string("Ondrix Daemon Service", 22), description);

        std::string message_file;
        ASSERT_TRUE(ts::reg_get(HKEY_LOCAL_MACHINE, EVENT_SOURCE_KEY, EVENT_MESSAGE_FILE_VALUE,
                                &message_file, &type));
        EXPECT_EQ(DWORD(REG_EXPAND_SZ), type);
        EXPECT_EQ(exe + std::string(1, '\0'), message_file);
        std::string types;
        ASSERT_TRUE(ts::reg_get(HKEY_LOCAL_MACHINE, EVENT_SOURCE_KEY, TYPES_SUPPORTED_VALUE, &types, &type));
        EXPECT_EQ(DWORD(REG_DWORD), type);
        EXPECT_EQ(std::string("\x07\0\0\0", 4), types);
        expect_failure_actions(manager.get());
    }

    logs::clear_daemon_log();
    ts::run_result again = run_watchdog("-i");
    EXPECT_EQ(0u, again.exit_code);
    EXPECT_EQ(lines{"CreateService failed (1073)" + NL}, logs::daemon_log_messages());
}

// A Cmd.exe planted beside the installed program is never run: every command
// keeps its text and its lines in the log.
TEST_F(Program, ServiceRestartsTheAgentAndRepairsTheConsole)
{
    ASSERT_TRUE(agent_fixture::install());
    ts::remove_file(PLANTED_CMD_CALLS_LOG);
    ASSERT_TRUE(CopyFileA(ts::sibling("planted_cmd.exe").c_str(), (BLANKS_FOLDER + "\\Cmd.exe").c_str(),
                          FALSE));
    ASSERT_NO_FATAL_FAILURE(start_service(100));

    // The agent, stopped from the start, runs within one pass; it may run
    // before the watchdog has logged its start.
    EXPECT_TRUE(svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 3000));
    EXPECT_TRUE(ts::wait_until([] { return messages_from(0).size() >= 3; }, 3000));
    EXPECT_EQ((lines{"check_serial_dev cmd=" + STATUS_COMMAND, STATUS_COMMAND + " Exit code = 0",
                     "sen-drik start pending..." + NL}),
              messages_from(0));

    ASSERT_TRUE(agent_fixture::crash());
    EXPECT_TRUE(svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 3000));
    // The agent may run before the watchdog has logged its start.
    EXPECT_TRUE(ts::wait_until(
        [] {
            lines all = logs::daemon_log_messages();
            return std::count(all.begin(), all.end(), "sen-drik start pending..." + NL) == 2;
        },
        3000));

    size_t before = logs::daemon_log_messages().size();
    ts::reg_set_sz(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE, "995");
    std::string record;
    EXPECT_TRUE(ts::wait_until(
        [&] {
            return ts::reg_get(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE,
                               &record) &&
                   record.c_str() == std::string("0");
        },
        10000));
    EXPECT_TRUE(svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 3000));
    // The stop, disable and enable records, then the console check and the start.
    EXPECT_TRUE(ts::wait_until([&] { return messages_from(before).size() >= 12; }, 3000));
    lines repair = logs::repair_messages(0);
    repair.insert(repair.begin(), "get writefile errorcode 995");
    repair.insert(repair.end(), {"check_serial_dev cmd=" + STATUS_COMMAND,
                                 STATUS_COMMAND + " Exit code = 0", "sen-drik start pending..." + NL});
    EXPECT_EQ(repair, messages_from(before));
    EXPECT_EQ(DWORD(SERVICE_RUNNING), svc::state(WATCHDOG_SERVICE_NAME));
    // The second restart and the one after the repair fall within 10 minutes
    // of the first: left out.
    EXPECT_EQ((lines{"1000 4 " GT_VERSION_TEXT "|0", "1001 2 0", "1003 2 995|0", "1004 4 0"}),
              logs::captured_events());
    EXPECT_FALSE(ts::file_exists(PLANTED_CMD_CALLS_LOG)) << ts::read_file(PLANTED_CMD_CALLS_LOG);
}

// Trays of user sessions may open what they may not create (Vista on).
TEST_F(Program, ServiceMakesTheIdleObjectsAndATrayPublishesIntoThem)
{
    ASSERT_FALSE(unique_handle(OpenFileMappingA(FILE_MAP_READ, FALSE, IDLE_MAPPING_NAME)));
    ASSERT_NO_FATAL_FAILURE(start_service(60000));
    unique_handle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, IDLE_MAPPING_NAME));
    unique_handle mutex(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, IDLE_MUTEX_NAME));
    ASSERT_TRUE(mapping && mutex);
    unique_view view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, IDLE_BLOCK_SIZE));
    ASSERT_TRUE(view);
    auto block = [&] { return std::string(static_cast<const char*>(view.get()), IDLE_BLOCK_SIZE); };
    EXPECT_EQ(std::string(IDLE_BLOCK_SIZE, '\0'), block());

    tray_run::nudge_mouse();
    HANDLE tray = tray_run::start_tray({TEST_IDLE_PERIOD_ENV "=100"});
    scope_exit end_tray([tray] { td::end_tray_test(tray); });
    ASSERT_TRUE(tray);
    const std::string active = IDLE_ACTIVE_TEXT + std::string(IDLE_BLOCK_SIZE - 6, '\0');
    EXPECT_TRUE(ts::wait_until([&] { return block() == active; }, 5000)) << block().c_str();
}

TEST_F(Program, StopWhileTheLoopSleepsEndsTheProcess)
{
    ASSERT_NO_FATAL_FAILURE(start_service(60000));
    ASSERT_EQ(1u, watchdog_processes().size());
    DWORD started = GetTickCount();
    EXPECT_TRUE(svc::stop(WATCHDOG_SERVICE_NAME, 2000));
    SERVICE_STATUS s = {};
    ASSERT_TRUE(svc::status(WATCHDOG_SERVICE_NAME, &s));
    EXPECT_EQ(0u, s.dwWin32ExitCode);
    EXPECT_TRUE(no_watchdog_process());
    EXPECT_LT(GetTickCount() - started, 2000u);
}

TEST_F(Program, ServiceThatGivesUpReportsStoppedWithItsReason)
{
    ASSERT_TRUE(agent_fixture::install());
    doubles::remove_devcon_doubles();
    ASSERT_NO_FATAL_FAILURE(start_service(50));

    EXPECT_TRUE(svc::wait_state(WATCHDOG_SERVICE_NAME, SERVICE_STOPPED, 5000));
    SERVICE_STATUS s = {};
    ASSERT_TRUE(svc::status(WATCHDOG_SERVICE_NAME, &s));
    EXPECT_EQ(DWORD(ERROR_SERVICE_SPECIFIC_ERROR), s.dwWin32ExitCode);
    EXPECT_EQ(DWORD(WATCHDOG_EXIT_NO_CONSOLE), s.dwServiceSpecificExitCode);
    EXPECT_TRUE(no_watchdog_process());
    lines messages = logs::daemon_log_messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ("num is 4" + NL, messages[messages.size() - 2]);
    EXPECT_EQ("there is no console device" + NL, messages.back());
    EXPECT_EQ((lines{"1000 4 " GT_VERSION_TEXT "|0", "1006 1 2|0"}), logs::captured_events());
}

TEST_F(Program, ForegroundRunIsSingleInstance)
{
    ASSERT_TRUE(agent_fixture::install());
    set_period(100);
    unique_handle first(ts::start(in_quotes(watchdog_exe()) + " -d"));
    ASSERT_TRUE(first);
    EXPECT_TRUE(svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 3000));

    ts::run_result second = run_watchdog("-d");
    ASSERT_TRUE(second.finished);
    EXPECT_EQ(0u, second.exit_code);
    EXPECT_EQ("Olny one sen_drik_hald.exe process is permitted!",
              logs::daemon_log_messages().back());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(first.get(), 0));
    TerminateProcess(first.get(), 0);
    WaitForSingleObject(first.get(), 3000);

    // Under another file name the process lookup never finds the caller.
    std::string renamed = BLANKS_FOLDER + "\\watchdog.exe";
    ASSERT_TRUE(CopyFileA(watchdog_exe().c_str(), renamed.c_str(), FALSE));
    logs::clear_daemon_log();
    EXPECT_EQ(0u, run_watchdog("-d", renamed).exit_code);
    EXPECT_EQ(lines{"Olny one sen_drik_hald.exe process is permitted!"},
              logs::daemon_log_messages());
}

TEST_F(Program, ForegroundRunEndsWithZeroWhenTheLoopGivesUp)
{
    ASSERT_TRUE(agent_fixture::install());
    doubles::remove_devcon_doubles();
    set_period(20);
    ts::run_result r = run_watchdog("-d");
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ("there is no console device" + NL, logs::daemon_log_messages().back());
}

TEST_F(Program, RemovalDeletesTheServiceAndEndsItsProcess)
{
    ASSERT_NO_FATAL_FAILURE(start_service(60000));
    std::vector<DWORD> service_process = watchdog_processes();
    ASSERT_EQ(1u, service_process.size());

    ts::run_result r = run_watchdog("-u");
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ(lines{"Service removed" + NL}, logs::daemon_log_messages());
    EXPECT_TRUE(no_watchdog_process());
    EXPECT_TRUE(ts::wait_until([] { return !svc::exists(WATCHDOG_SERVICE_NAME); }, 3000));
    std::string value;
    EXPECT_FALSE(ts::reg_get(HKEY_LOCAL_MACHINE, EVENT_SOURCE_KEY, TYPES_SUPPORTED_VALUE, &value));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, EVENT_SOURCE_KEY, 0, KEY_READ, &key));
}

TEST_F(Program, RemovalWithoutServiceEndsWithZero)
{
    ts::run_result r = run_watchdog("-u");
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ(lines{"OpenService failed (1060)" + NL}, logs::daemon_log_messages());

    // Without IsWow64Process (Windows 2000) the log is under "C:\Program
    // Files", whatever the build.
    const std::string log = logs::daemon_log_path();
    ts::make_dirs(logs::monitor_folder());
    ts::remove_file(log);
    r = ts::run(in_quotes(watchdog_exe()) + " -u", 10000, {TEST_NO_WOW64_LOOKUP_ENV "=1"});
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ("<T> : [VM-Daemon] OpenService failed (1060)\r\n\r\r\n",
              logs::mask_stamps(ts::read_file(log)));
}

// Not part of the suite (scripts/bench runs it): time from an agent stop to
// the agent running again, with the shipped 10 s period unless
// GT_MEASURE_PERIOD_MS says otherwise, over GT_MEASURE_TRIES stops spread
// over the loop's phase, the first just after a pass. Each try is split by
// the log's lines: the wait for the pass, the console check and
// the start; beside them the check's command, the agent's start and a bare
// process start alone.
//   $GT_WINE64 watchdog_program_tests.exe --gtest_also_run_disabled_tests
//        --gtest_filter=*MeasureAgentRestart
DWORD measure_setting(const char* name, DWORD fallback)
{
    char text[16] = {};
    DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
    return length == 0 || length >= sizeof text ? fallback : static_cast<DWORD>(atol(text));
}

void report_times(const char* name, std::vector<DWORD> times)
{
    std::sort(times.begin(), times.end());
    printf("bench: %s_median_ms %lu\nbench: %s_max_ms %lu\n", name, times[times.size() / 2], name,
           times.back());
}

TEST_F(Program, DISABLED_MeasureAgentRestart)
{
    const DWORD period = measure_setting("GT_MEASURE_PERIOD_MS", 10000);
    const DWORD tries = measure_setting("GT_MEASURE_TRIES", 10);
    ASSERT_TRUE(agent_fixture::install());
    std::vector<DWORD> command_alone, start_alone, process_alone;
    for (DWORD i = 0; i < tries; ++i) {
        DWORD began = GetTickCount();
        ASSERT_EQ(0u, ts::run(in_quotes(ts::sibling("idle_double.exe")) + " 0", 30000).exit_code);
        process_alone.push_back(GetTickCount() - began);
        began = GetTickCount();
        ASSERT_EQ(0u, ts::run(STATUS_COMMAND, 30000).exit_code);
        command_alone.push_back(GetTickCount() - began);
        began = GetTickCount();
        ASSERT_TRUE(agent_fixture::start());
        start_alone.push_back(GetTickCount() - began);
        ASSERT_TRUE(agent_fixture::crash());
    }
    ASSERT_NO_FATAL_FAILURE(start_service(period));
    ASSERT_TRUE(svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 30000));
    DWORD pass_ended = GetTickCount();

    std::vector<DWORD> totals, waits, checks, starts;
    for (DWORD i = 0; i < tries; ++i) {
        // Passes with nothing to do take a few ms: the next one looks at the
        // agent about a period after the last start.
        LONG ahead = static_cast<LONG>(pass_ended + 100 + i * period / tries - GetTickCount());
        while (ahead < 0)
            ahead += static_cast<LONG>(period);
        Sleep(static_cast<DWORD>(ahead));
        size_t seen = logs::daemon_log_messages().size();
        DWORD stopped = GetTickCount();
        ASSERT_TRUE(agent_fixture::crash());
        // The pass logs the check's command, its exit code, then the start.
        DWORD at[3] = {0, 0, 0};
        DWORD running = 0;
        while (!running && GetTickCount() - stopped < 30000) {
            size_t lines_now = messages_from(seen).size();
            for (size_t k = 0; k < 3; ++k) {
                if (!at[k] && lines_now > k)
                    at[k] = GetTickCount();
            }
            if (at[2] && svc::state(AGENT_SERVICE_NAME) == SERVICE_RUNNING)
                running = GetTickCount();
            Sleep(5);
        }
        ASSERT_TRUE(running) << "try " << i + 1;
        pass_ended = at[2];
        totals.push_back(running - stopped);
        waits.push_back(at[0] - stopped);
        checks.push_back(at[1] - at[0]);
        starts.push_back(running - at[1]);
        printf("restart %2lu: %5lu ms = wait for the pass %5lu + console check %4lu + start %4lu\n",
               i + 1, totals.back(), waits.back(), checks.back(), starts.back());
    }
    printf("bench: restart_tries %lu\nbench: restart_period_ms %lu\n", tries, period);
    report_times("restart", totals);
    report_times("restart_wait", waits);
    report_times("restart_check", checks);
    report_times("restart_start", starts);
    report_times("status_command_alone", command_alone);
    report_times("agent_start_alone", start_alone);
    report_times("process_start_alone", process_alone);
}

class Lookup : public ::testing::Test {
protected:
    void TearDown() override { ts::kill_all_named(IDLE); }
    static constexpr const char* IDLE = "idle_double.exe";
};

TEST_F(Lookup, FirstInEnumerationOrderAnyCaseWholeNameOnly)
{
    unique_handle a(ts::start(in_quotes(ts::sibling(IDLE)) + " 20000"));
    unique_handle b(ts::start(in_quotes(ts::sibling(IDLE)) + " 20000"));
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(ts::wait_until([] { return ts::processes_named(IDLE).size() == 2; }, 3000));
    std::vector<DWORD> ids = ts::processes_named(IDLE);   // in enumeration order

    struct {
        const char* sought;
        DWORD found;
    } rows[] = {
        {"idle_double.exe", ids[0]},
        {"IDLE_DOUBLE.EXE", ids[0]},
        {"Idle_Double.Exe", ids[0]},
        {"idle_double", 0},
        {"idle_double.ex", 0},
        {"idle_double.exe ", 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.found, find_process_by_name(row.sought)) << row.sought;
    EXPECT_EQ(ids[1], find_process_by_name_except(IDLE, ids[0]));
    EXPECT_EQ(ids[0], find_process_by_name_except(IDLE, ids[1]));

    EXPECT_EQ(1, terminate_process_by_id(ids[0]));
    EXPECT_EQ(0, terminate_process_by_id(0));
}

} // namespace
