// Baseline of the watchdog's idle pass: the least such a pass does (sleep,
// look for the write-error record, open the agent service, query it, close
// it), every period in milliseconds (the first argument), for ever.
#include <windows.h>
#include <stdlib.h>

#include "contract.h"

int main(int argc, char** argv)
{
    DWORD period = argc > 1 ? strtoul(argv[1], nullptr, 10) : 200;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return 1;
    for (;;) {
        Sleep(period);
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            char text[256] = {};
            DWORD size = sizeof text - 1;
            RegQueryValueExA(key, WRITEFILE_ERRORCODE_VALUE, nullptr, nullptr,
                             reinterpret_cast<BYTE*>(text), &size);
            RegCloseKey(key);
        }
        SC_HANDLE agent =
            OpenServiceA(manager, AGENT_SERVICE_NAME, SERVICE_QUERY_STATUS | SERVICE_START);
        if (agent) {
            SERVICE_STATUS status = {};
            QueryServiceStatus(agent, &status);
            CloseServiceHandle(agent);
        }
    }
}
