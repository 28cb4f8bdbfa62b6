#include "supervise.h"

#include "console_repair.h"
#include "contract.h"
#include "daemon_log.h"
#include "event_report.h"
#include "failure_log.h"
#include "handles.h"
#include "repair_record.h"

DWORD supervise_period_ms = 10000;

bool take_log_check_turn(supervise_counters* counters)
{
    bool due = counters->passes_since_log_check != 0 &&
               counters->passes_since_log_check % LOG_CHECK_PASSES == 0;
    if (due)
        counters->passes_since_log_check = 0;
    ++counters->passes_since_log_check;
    return due;
}

bool take_agent_open_result(supervise_counters* counters, DWORD error)
{
    bool news = error != ERROR_SUCCESS && error != counters->agent_open_error;
    counters->agent_open_error = error;
    return news;
}

bool agent_needs_start(DWORD state)
{
    return state == SERVICE_STOPPED || state == SERVICE_STOP_PENDING;
}

console_verdict judge_console(int no_console_count, int console_check)
{
    if (console_check < 0)
        return CONSOLE_NOT_CHECKED;
    if (console_check > 0)
        return CONSOLE_START_AGENT;
    return no_console_count == NO_CONSOLE_LIMIT ? CONSOLE_MISSING_GIVE_UP : CONSOLE_MISSING_COUNT;
}

namespace {

void repair_if_requested()
{
    int code = read_writefile_errorcode();
    if (!is_repair_code(code))
        return;
    write_daemon_log("get writefile errorcode %d", code);
    report_repair_started(code);
    if (restart_consle_dev()) {
        report_repair_succeeded();
        clear_writefile_errorcode();
    } else {
        write_daemon_log("failed to restart_consle_dev");
    }
}

void start_agent(SC_HANDLE agent)
{
    if (StartServiceA(agent, 0, nullptr)) {
        write_daemon_log(AGENT_SERVICE_NAME " start pending...\n");
        report_agent_restarted();
        return;
    }
    DWORD error = GetLastError();
    write_daemon_log("StartService " AGENT_SERVICE_NAME " failed (%lu)\n", error);
    report_agent_start_failed(error);
}

} // namespace

bool supervise_pass(supervise_counters* counters, SC_HANDLE manager)
{
    if (take_log_check_turn(counters))
        check_log_space();
    repair_if_requested();

    unique_sc_handle agent(
        OpenServiceA(manager, AGENT_SERVICE_NAME, SERVICE_QUERY_STATUS | SERVICE_START));
    DWORD open_error = agent ? ERROR_SUCCESS : GetLastError();
    if (take_agent_open_result(counters, open_error))
        log_daemon_failure("OpenServiceA", AGENT_SERVICE_NAME, open_error);
    if (!agent)
        return true;
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(agent.get(), &status)) {
        DWORD error = GetLastError();
        write_daemon_log("QueryServiceStatus Failed Enum = %lu", error);
        return true;
    }
    if (!agent_needs_start(status.dwCurrentState))
        return true;

    switch (judge_console(counters->no_console_count, check_serial_dev())) {
    case CONSOLE_START_AGENT:
        counters->no_console_count = 0;
        start_agent(agent.get());
        return true;
    case CONSOLE_MISSING_COUNT:
        write_daemon_log("there is no console device\n");
        write_daemon_log("num is %d\n", counters->no_console_count);
        ++counters->no_console_count;
        return true;
    case CONSOLE_MISSING_GIVE_UP:
        write_daemon_log("there is no console device\n");
        return false;
    case CONSOLE_NOT_CHECKED:
        write_daemon_log("check_serial_dev could not run the check");
        return true;
    }
    return true;
}

int supervise_agent()
{
    unique_sc_handle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        DWORD error = GetLastError();
        write_daemon_log("OpenSCManager Failed Enum = %lu", error);
        report_gave_up(WATCHDOG_EXIT_NO_MANAGER);
        return WATCHDOG_EXIT_NO_MANAGER;
    }
    check_log_space();
    report_supervision_started();
    supervise_counters counters = {0, 0, ERROR_SUCCESS};
    const DWORD period = supervise_period_ms;
    for (;;) {
        Sleep(period);
        if (!supervise_pass(&counters, manager.get())) {
            report_gave_up(WATCHDOG_EXIT_NO_CONSOLE);
            return WATCHDOG_EXIT_NO_CONSOLE;
        }
    }
}
