#pragma once
// The watchdog's events in the Application log (source "SenDrikHald"), beside
// its file log. Reporting never stops supervision: a failure to report costs
// one file log line for the life of the process.
#include <windows.h>

#include "watchdog_events.h"

// The facts, one call each.
void report_supervision_started();
void report_agent_restarted();
void report_agent_start_failed(DWORD error);
void report_repair_started(int code);
void report_repair_succeeded();
// step: 1 stopping the agent, 2 disabling, 3 enabling the console device.
void report_repair_failed(int step);
// reason: WATCHDOG_EXIT_NO_MANAGER or WATCHDOG_EXIT_NO_CONSOLE.
void report_gave_up(int reason);
// A candidate for the device console tool that was not run.
void report_device_tool_refused(const char* path);

// "-i": the source's key (EventMessageFile = program_path, TypesSupported);
// "-u": the key removed. Failures cost one log line; a missing key is no failure.
void register_event_source(const char* program_path);
void unregister_event_source();

// ---- Decisions, as plain functions ----

// EVENTLOG_INFORMATION_TYPE, _WARNING_TYPE or _ERROR_TYPE from the severity
// bits of a message id.
WORD event_type_of(DWORD event_id);
// Inserts of a message besides the trailing count of reports left out; -1
// for an id that is not ours.
int event_fact_count(DWORD event_id);

// One id's record of reports; zero is "never reported".
struct event_fold {
    bool reported;
    DWORD last_tick;   // GetTickCount of the last report
    DWORD left_out;    // reports left out since
};
struct fold_decision {
    bool report;
    DWORD left_out;    // to say in this report
};
// Whether an event at `now` is reported, at most once per period_ms: the
// first always; later ones when period_ms have passed since the last report,
// carrying the count of those left out in between. Tick wrap-around is
// harmless (unsigned difference).
fold_decision fold_event(event_fold* fold, DWORD now, DWORD period_ms);

// Every id the watchdog reports, in order.
extern const DWORD WATCHDOG_EVENT_IDS[];
extern const int WATCHDOG_EVENT_ID_COUNT;

// Forgets every id's record, as at the program's start.
void reset_event_folds();

// Milliseconds in which an id is reported once (fold_event's period).
extern DWORD event_fold_period_ms;
// Also given every event reported, with its inserts, when set; none is by
// default.
typedef void (*event_sink_fn)(DWORD event_id, const char** inserts, WORD count);
extern event_sink_fn event_sink;
