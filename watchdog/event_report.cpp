#include "event_report.h"

#include "contract.h"
#include "daemon_log.h"
#include "gt_version.h"
#include "handles.h"

#include <strsafe.h>

#include <string.h>

namespace {

struct event_entry {
    DWORD id;
    int facts;   // inserts besides the count of reports left out
};

const event_entry EVENTS[] = {
    {EVENT_SUPERVISION_STARTED, 1}, {EVENT_AGENT_RESTARTED, 0}, {EVENT_AGENT_START_FAILED, 1},
    {EVENT_REPAIR_STARTED, 1},      {EVENT_REPAIR_SUCCEEDED, 0}, {EVENT_REPAIR_FAILED, 1},
    {EVENT_SUPERVISION_GAVE_UP, 1}, {EVENT_DEVICE_TOOL_REFUSED, 1},
};
const int EVENT_COUNT = sizeof EVENTS / sizeof EVENTS[0];
const int MAX_FACTS = 1;
const size_t NUMBER_CAPACITY = 16;

// Touched by the thread that reports: the supervision loop's (or the main
// thread before it runs); the control handler never reports.
event_fold g_folds[EVENT_COUNT];
bool g_failure_logged;

int event_index(DWORD event_id)
{
    for (int i = 0; i < EVENT_COUNT; ++i) {
        if (EVENTS[i].id == event_id)
            return i;
    }
    return -1;
}

void log_failure_once(const char* what, LONG error)
{
    if (g_failure_logged)
        return;
    g_failure_logged = true;
    write_daemon_log("%s failed (%ld)", what, static_cast<long>(error));
}

void report(DWORD event_id, const char* fact)
{
    int index = event_index(event_id);
    if (index < 0)
        return;
    fold_decision decision = fold_event(&g_folds[index], GetTickCount(), event_fold_period_ms);
    if (!decision.report)
        return;

    char left_out[NUMBER_CAPACITY] = {};
    StringCchPrintfA(left_out, NUMBER_CAPACITY, "%lu", static_cast<unsigned long>(decision.left_out));
    const char* inserts[MAX_FACTS + 1] = {};
    WORD count = 0;
    if (EVENTS[index].facts > 0)
        inserts[count++] = fact ? fact : "";
    inserts[count++] = left_out;
    if (event_sink)
        event_sink(event_id, inserts, count);

    HANDLE source = RegisterEventSourceA(nullptr, EVENT_SOURCE_NAME);
    if (!source) {
        DWORD error = GetLastError();
        log_failure_once("RegisterEventSource", static_cast<LONG>(error));
        return;
    }
    if (!ReportEventA(source, event_type_of(event_id), 0, event_id, nullptr, count, 0, inserts,
                      nullptr)) {
        DWORD error = GetLastError();
        log_failure_once("ReportEvent", static_cast<LONG>(error));
    }
    DeregisterEventSource(source);
}

void report_number(DWORD event_id, long number)
{
    char text[NUMBER_CAPACITY] = {};
    StringCchPrintfA(text, NUMBER_CAPACITY, "%ld", number);
    report(event_id, text);
}

} // namespace

DWORD event_fold_period_ms = 600000;   // one event of an id per 10 minutes
event_sink_fn event_sink = nullptr;

const DWORD WATCHDOG_EVENT_IDS[] = {
    EVENT_SUPERVISION_STARTED, EVENT_AGENT_RESTARTED, EVENT_AGENT_START_FAILED,
    EVENT_REPAIR_STARTED,      EVENT_REPAIR_SUCCEEDED, EVENT_REPAIR_FAILED,
    EVENT_SUPERVISION_GAVE_UP, EVENT_DEVICE_TOOL_REFUSED,
};
const int WATCHDOG_EVENT_ID_COUNT = EVENT_COUNT;
static_assert(sizeof WATCHDOG_EVENT_IDS / sizeof WATCHDOG_EVENT_IDS[0] == EVENT_COUNT,
              "every reported id in both lists");

WORD event_type_of(DWORD event_id)
{
    switch (event_id >> 30) {
    case GT_SEVERITY_ERROR:
        return EVENTLOG_ERROR_TYPE;
    case GT_SEVERITY_WARNING:
        return EVENTLOG_WARNING_TYPE;
    default:
        return EVENTLOG_INFORMATION_TYPE;
    }
}

int event_fact_count(DWORD event_id)
{
    int index = event_index(event_id);
    return index < 0 ? -1 : EVENTS[index].facts;
}

fold_decision fold_event(event_fold* fold, DWORD now, DWORD period_ms)
{
    if (fold->reported && now - fold->last_tick < period_ms) {
        ++fold->left_out;
        return {false, 0};
    }
    fold_decision decision = {true, fold->left_out};
    fold->reported = true;
    fold->last_tick = now;
    fold->left_out = 0;
    return decision;
}

void report_supervision_started() { report(EVENT_SUPERVISION_STARTED, GT_VERSION_TEXT); }
void report_agent_restarted() { report(EVENT_AGENT_RESTARTED, nullptr); }
void report_agent_start_failed(DWORD error) { report_number(EVENT_AGENT_START_FAILED, static_cast<long>(error)); }
void report_repair_started(int code) { report_number(EVENT_REPAIR_STARTED, code); }
void report_repair_succeeded() { report(EVENT_REPAIR_SUCCEEDED, nullptr); }
void report_repair_failed(int step) { report_number(EVENT_REPAIR_FAILED, step); }
void report_gave_up(int reason) { report_number(EVENT_SUPERVISION_GAVE_UP, reason); }
void report_device_tool_refused(const char* path) { report(EVENT_DEVICE_TOOL_REFUSED, path); }

void register_event_source(const char* program_path)
{
    unique_hkey key;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, EVENT_SOURCE_KEY, 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(), nullptr);
    const DWORD types = EVENT_TYPES_SUPPORTED;
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExA(key.get(), EVENT_MESSAGE_FILE_VALUE, 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(program_path),
                            static_cast<DWORD>(strlen(program_path) + 1));
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExA(key.get(), TYPES_SUPPORTED_VALUE, 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&types), sizeof types);
    if (rc != ERROR_SUCCESS)
        write_daemon_log("register event source failed (%ld)\n", static_cast<long>(rc));
}

void unregister_event_source()
{
    LONG rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, EVENT_SOURCE_KEY);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        write_daemon_log("remove event source failed (%ld)\n", static_cast<long>(rc));
}

void reset_event_folds()
{
    memset(g_folds, 0, sizeof g_folds);
    g_failure_logged = false;
}
