#pragma once
#include <windows.h>

// The system's places the watchdog works with: its Program Files folder and
// the device console tool's candidates, and whether Windows is 64-bit.

// What IsWow64Process tells about this process. Windows 2000, XP before SP2
// and Server 2003 before SP1 lack the function, and they run no WOW64.
struct wow64_lookup {
    bool found;   // the system has IsWow64Process
    BOOL wow64;   // its answer; FALSE also when the call failed
};
typedef wow64_lookup (*wow64_lookup_fn)();
// Asks the system; test builds may answer as a system without the function.
extern wow64_lookup_fn look_up_wow64;
wow64_lookup ask_is_wow64_process();

// "C:\Program Files (x86)" for a 32-bit program on 64-bit Windows, else
// "C:\Program Files".
const char* program_files_folder_for(wow64_lookup lookup);
// Whether Windows is 64-bit: always for the x64 build, else under WOW64.
bool system_is_64bit(bool x64_build, wow64_lookup lookup);
// The device console tool to run: the first candidate, else the second,
// which lies under "Program Files (x86)", only on 64-bit Windows (on 32-bit
// Windows any user may create that folder); nullptr when none may be run.
const char* devcon_candidate(bool system_64bit, bool first_exists, bool second_exists);
