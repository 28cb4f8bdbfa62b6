#pragma once

// action 0 disables, 1 enables the console device; 1 on success.
int enable_disable_serial_dev(int action);
// Stops the agent, disables and enables the console device; 1 on success.
int restart_consle_dev();
// 1 when the console device is present and its driver runs, 0 when not (or
// no tool), -1 when the check's command could not run (not started, ended
// at its time limit).
int check_serial_dev();

// A device console tool under a literal Program Files folder that is not the
// system's own, refused: one log line naming it.
void refuse_devcon_candidate(const char* candidate, const char* reason);

// The stop command's exit code: stopped now, or was not running (1062).
bool stop_phase_succeeded(int exit_code);
