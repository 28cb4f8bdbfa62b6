// Stands in for the agent service: runs under the service control manager,
// stops on the stop control, and "crashes" (reports SERVICE_STOPPED by itself
// and ends) when the crash event is set. Wine's service manager does not
// notice a service process that dies without reporting, hence the report.
#include "contract.h"
#include "test_names.h"

#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE g_handle;
SERVICE_STATUS g_status;
HANDLE g_stop;
volatile bool g_stopped_by_control;

// Wine's dispatcher returns as soon as the last service reports
// SERVICE_STOPPED, which this double does inside its handler; the handler's
// reply to the manager is written by another thread after that. Ending the
// process at once could lose the reply, and "sc stop" would then fail on an
// agent it did stop. Long enough for that thread, short beside the tests'
// waits for the process to end.
const DWORD REPLY_GRACE_MS = 1000;

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
        g_stopped_by_control = true;
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
    if (!StartServiceCtrlDispatcherA(table))
        return 1;
    if (g_stopped_by_control)
        Sleep(REPLY_GRACE_MS);
    return 0;
}
