#pragma once
#include <windows.h>

// The one status record of the service "SenDrikHald" and its handle; written
// by the service main up to its first report, then by the control handler.
extern SERVICE_STATUS g_ServiceStatus;
extern SERVICE_STATUS_HANDLE g_hServiceStatus;

// The record as the service main begins: start pending, stop and shutdown
// accepted, everything else 0.
void init_service_status(SERVICE_STATUS* status);
// A stop or shutdown control stops the service with exit code 0; any other
// control leaves the record as it is.
void apply_service_control(SERVICE_STATUS* status, DWORD control);
// The supervision loop gave up for `reason` (WATCHDOG_EXIT_NO_MANAGER or
// WATCHDOG_EXIT_NO_CONSOLE): stopped, with a service-specific exit code.
void apply_supervision_end(SERVICE_STATUS* status, int reason);

void WINAPI service_main(DWORD argc, LPSTR* argv);
void WINAPI service_ctrl_handler(DWORD control);

// Hands the main thread to the service dispatcher until the service stops.
// to_complete: a platform record still to be asked of WMI, which happens once
// the service reports running; a machine that is not a KVM guest then stops
// it. NULL when the platform was decided before. The dispatcher returns only
// after the service stopped, so a record of the caller's frame lives long enough.
struct platform_record;
void run_service_dispatcher(platform_record* to_complete);
