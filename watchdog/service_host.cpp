#include "service_host.h"

#include "actions.h"
#include "contract.h"
#include "daemon_log.h"
#include "failure_log.h"
#include "handles.h"
#include "idle_objects.h"
#include "platform_check.h"
#include "supervise.h"

namespace {

// SERVICE_WIN32, as the status record reports it.
const DWORD WATCHDOG_STATUS_TYPE = 0x30;

// The record whose WMI answer is still to be asked for, else NULL.
platform_record* s_platform_to_complete = nullptr;

// The service manager holds its database while a service starts, so a
// service that needs another one started (here WMI, on demand) may ask for
// it only once it has reported running.
bool platform_passes_when_running()
{
    if (!s_platform_to_complete)
        return true;
    read_manufacturer_from_wmi(s_platform_to_complete);
    return log_platform_record(*s_platform_to_complete);
}

} // namespace

SERVICE_STATUS g_ServiceStatus;
SERVICE_STATUS_HANDLE g_hServiceStatus;

void init_service_status(SERVICE_STATUS* status)
{
    status->dwServiceType = WATCHDOG_STATUS_TYPE;
    status->dwCurrentState = SERVICE_START_PENDING;
    status->dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    status->dwWin32ExitCode = 0;
    status->dwServiceSpecificExitCode = 0;
    status->dwCheckPoint = 0;
    status->dwWaitHint = 0;
}

void apply_service_control(SERVICE_STATUS* status, DWORD control)
{
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        status->dwCurrentState = SERVICE_STOPPED;
        status->dwWin32ExitCode = 0;
    }
}

void apply_supervision_end(SERVICE_STATUS* status, int reason)
{
    status->dwCurrentState = SERVICE_STOPPED;
    status->dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    status->dwServiceSpecificExitCode = static_cast<DWORD>(reason);
}

namespace {

// The handle of an idle object held for the trays; NULL after a log line.
HANDLE idle_object_for_trays(idle_object object, const char* name)
{
    if (!object.handle)
        write_daemon_log("open or create %s failed (%lu)", name, object.error);
    return object.handle;
}

} // namespace

void WINAPI service_ctrl_handler(DWORD control)
{
    // Nothing tells the loop: once STOPPED is reported the dispatcher
    // returns on the main thread and the process ends around the loop.
    apply_service_control(&g_ServiceStatus, control);
    SetServiceStatus(g_hServiceStatus, &g_ServiceStatus);
}

void WINAPI service_main(DWORD, LPSTR*)
{
    init_service_status(&g_ServiceStatus);
    g_hServiceStatus = RegisterServiceCtrlHandlerA(WATCHDOG_SERVICE_NAME, service_ctrl_handler);
    if (!g_hServiceStatus) {
        DWORD error = GetLastError();
        write_daemon_log("RegisterServiceCtrlHandler failed\n");
        log_daemon_failure("RegisterServiceCtrlHandlerA", WATCHDOG_SERVICE_NAME, error);
        return;
    }
    // The idle block and its mutex, held while the service runs and never
    // written: from Vista on, a tray in a user's session may not create a
    // global mapping (that takes SeCreateGlobalPrivilege), but it may open one.
    unique_handle idle_mutex(
        idle_object_for_trays(obtain_idle_mutex(IDLE_MUTEX_NAME), IDLE_MUTEX_NAME));
    unique_handle idle_block(
        idle_object_for_trays(obtain_idle_mapping(IDLE_MAPPING_NAME), IDLE_MAPPING_NAME));

    g_ServiceStatus.dwCurrentState = SERVICE_RUNNING;
    SetServiceStatus(g_hServiceStatus, &g_ServiceStatus);
    if (!platform_passes_when_running()) {
        g_ServiceStatus.dwCurrentState = SERVICE_STOPPED;
        SetServiceStatus(g_hServiceStatus, &g_ServiceStatus);
        return;
    }

    int reason = supervise_agent();
    // The loop supervises nothing any more: say so instead of showing running.
    apply_supervision_end(&g_ServiceStatus, reason);
    SetServiceStatus(g_hServiceStatus, &g_ServiceStatus);
}

void run_service_dispatcher(platform_record* to_complete)
{
    s_platform_to_complete = to_complete;
    char name[] = WATCHDOG_SERVICE_NAME;
    SERVICE_TABLE_ENTRYA table[] = {{name, service_main}, {nullptr, nullptr}};
    // Fails at once (1063) when started from a console; that ends silently.
    StartServiceCtrlDispatcherA(table);
}
