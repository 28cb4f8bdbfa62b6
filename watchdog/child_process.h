#pragma once
#include <windows.h>

// Runs a command line ("Cmd.exe /C ...") through the system's cmd.exe in a
// hidden child process and gives its exit code, or -1 when it cannot be
// started, its code cannot be read, or it timed out.
int invokeExeFile(char* command_line);

// How long invokeExeFile waits for a child before ending its tree.
extern DWORD invoke_limit_ms;
// The interpreter invokeExeFile runs; nullptr: cmd.exe of the system folder.
extern const char* invoke_shell_path;
