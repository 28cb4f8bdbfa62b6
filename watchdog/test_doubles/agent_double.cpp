// Stands in for the agent service: runs under the service control manager,
// stops on the stop control, and "crashes" (reports SERVICE_STOPPED by itself
// and ends) when the crash event is set. Wine's service manager does not
// notice a service process that dies without reporting, hence the report.
#include "contract.h"

#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE g_handle;
SERVICE_STATUS g_status;
HANDLE g_stop;

void report(DWORD state)
{
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(g_handle, &g_status);
}

void WINAPI control_handler(DWORD control)
{
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        // Reported before the handler returns, so "sc stop" leaves the
        // service stopped when it exits.
        report(SERVICE_STOPPED);
        SetEvent(g_stop);
        return;
    }
    SetServiceStatus(g_handle, &g_status);
}

void WINAPI agent_main(DWORD, char**)
{
    g_handle = RegisterServiceCtrlHandlerA(AGENT_SERVICE_NAME, control_handler);
    if (!g_handle)
        return;
    g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE crash = CreateEventA(nullptr, TRUE, FALSE, AGENT_DOUBLE_CRASH_EVENT);
    ResetEvent(crash);
    report(SERVICE_RUNNING);
    HANDLE events[2] = {g_stop, crash};
    DWORD which = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (which == WAIT_OBJECT_0 + 1) {
        ResetEvent(crash);
        report(SERVICE_STOPPED);
    }
    CloseHandle(crash);
}

} // namespace

int main()
{
    char name[] = AGENT_SERVICE_NAME;
    SERVICE_TABLE_ENTRYA table[] = {{name, agent_main}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
