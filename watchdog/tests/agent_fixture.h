#pragma once
// The agent service double "sen-drik" in the test prefix, and small service
// helpers for tests that talk to the real service control manager.
#include <windows.h>

namespace agent_fixture {

// Creates "sen-drik" for agent_double.exe beside the test (demand start);
// an existing one is removed first. True when the service exists afterwards.
bool install();
// Stops (when running) and deletes "sen-drik".
void remove();
// Starts it and waits until it runs (5 s at most).
bool start();
// "Crashes" it: the double reports SERVICE_STOPPED by itself and ends.
bool crash();
// Current state of "sen-drik", 0 when it is not installed.
DWORD state();
// Whether the service manager passes "sen-drik" a control now (interrogate).
bool answers_controls();
// Removes what the tests of the installed watchdog set up: the service
// "SenDrikHald" and any process of it or of devcon, the agent, the devcon
// doubles and their state, and the watchdog's test and repair keys.
void remove_watchdog_setup();

} // namespace agent_fixture

namespace svc {

// dwCurrentState of a service, 0 when it cannot be opened or queried.
DWORD state(const char* name);
// Full status record; false when the service cannot be opened or queried.
bool status(const char* name, SERVICE_STATUS* out);
// Sends the interrogate control; false when the manager refuses it.
bool interrogate(const char* name);
// Polls until the service is in `wanted` or timeout_ms passed.
bool wait_state(const char* name, DWORD wanted, DWORD timeout_ms);
bool start(const char* name);
// Sends the stop control (nothing when not running) and waits for STOPPED.
bool stop(const char* name, DWORD timeout_ms = 5000);
// Stops and deletes a service; waits until the name is free (5 s at most).
void remove(const char* name);
bool exists(const char* name);

} // namespace svc
