#pragma once
#include <windows.h>
// The command-line actions that need more than one part of the program.
// Each gives the process exit code.

// "-s": the service, on a KVM machine only.
int run_as_service();
// "-d": the supervision loop on this thread, for the first watchdog process only.
int run_foreground();
// "-u": deletes the service and ends the running watchdog (never this process).
int remove_watchdog();

// What the platform check logs when it cannot open the firmware key.
void log_platform_open_failure();
// Logs what decided where the BIOS key is absent, and "not kvm" when the
// record says so; true on a KVM machine.
struct platform_record;
bool log_platform_record(const platform_record& record);

// Whether the foreground run may go on: the first watchdog process found is this one.
bool foreground_permitted(DWORD first_found, DWORD self);
