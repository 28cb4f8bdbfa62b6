#pragma once

// Runs a command line ("Cmd.exe /C ...") through the system's cmd.exe in a
// hidden child process and gives its exit code, or -1 when it cannot be
// started, its code cannot be read, or it timed out.
int invokeExeFile(char* command_line);

// 554 or 995 when the agent recorded that write error, else 0.
int read_writefile_errorcode();
// Resets the recorded error to "0".
void clear_writefile_errorcode();
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

// What a recorded write-error text asks for: 554, 995 or 0 (554 wins).
int classify_errorcode_text(const char* text);
// The stop command's exit code: stopped now, or was not running (1062).
bool stop_phase_succeeded(int exit_code);

#ifdef GT_TEST_SEAMS
// How long invokeExeFile waits for a child before ending its tree.
extern unsigned long g_invoke_limit_ms;
// The interpreter invokeExeFile runs instead of the system's, when set.
extern const char* g_test_shell_path;
#endif
