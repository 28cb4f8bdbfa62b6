#pragma once
#include <windows.h>

// Every this many passes the log's size is checked.
const unsigned LOG_CHECK_PASSES = 60;
// Passes that find the agent stopped without console device before the loop
// gives up: the one after this many.
const int NO_CONSOLE_LIMIT = 5;

// What one pass hands on to the next.
struct supervise_counters {
    unsigned passes_since_log_check;
    int no_console_count;   // stopped-agent passes without console device since the last reset
    DWORD agent_open_error; // why the last pass could not open the agent; 0 when it could
};

// Whether this pass checks the log size; moves the pass counter on. From a
// fresh start the check falls in passes 61, 121, 181...
bool take_log_check_turn(supervise_counters* counters);

// Records what opening the agent gave this pass (ERROR_SUCCESS when it
// opened); true when a failure is to be logged: the first of a run with the
// same error, so an agent that is not installed costs one line, not one a pass.
bool take_agent_open_result(supervise_counters* counters, DWORD error);

// The agent is started only when it is stopped or stopping.
bool agent_needs_start(DWORD state);

enum console_verdict {
    CONSOLE_START_AGENT,     // device runs: reset the count, start the agent
    CONSOLE_MISSING_COUNT,   // no device: log the count, count up
    CONSOLE_MISSING_GIVE_UP, // no device once too often: the loop ends
    CONSOLE_NOT_CHECKED,     // the check could not run: say so, nothing else
};
// console_check: what check_serial_dev gave (1, 0 or -1).
console_verdict judge_console(int no_console_count, int console_check);

// One pass after its sleep: log check, repair, agent start. False when the
// loop must end.
bool supervise_pass(supervise_counters* counters, SC_HANDLE manager);

// Milliseconds between passes.
extern DWORD supervise_period_ms;

// Keeps the agent running; returns only when it gives up, with
// WATCHDOG_EXIT_NO_MANAGER or WATCHDOG_EXIT_NO_CONSOLE.
int supervise_agent();
