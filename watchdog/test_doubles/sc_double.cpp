// Stands in for sc where a test needs the Windows behaviour that Wine's sc
// lacks: "sc stop <service>" of a service that is not running exits 1062
// (ERROR_SERVICE_NOT_ACTIVE); Wine's exits 1. Only the agent is known:
// any other name exits 1060 (ERROR_SERVICE_DOES_NOT_EXIST).
#include "contract.h"
#include "double_control.h"
#include "double_io.h"

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i)
        line += (i > 1 ? " " : "") + std::string(argv[i]);
    record_call(SC_CALLS_LOG, line);
    if (argc != 3 || strcmp(argv[1], "stop") != 0)
        return 87;
    std::string agent = control_text(SC_CONTROL_KEY, SC_AGENT_VALUE, SC_AGENT_RUNNING);
    if (_stricmp(argv[2], AGENT_SERVICE_NAME) != 0 || agent == SC_AGENT_ABSENT) {
        printf("[SC] OpenService FAILED 1060:\n");
        return 1060;
    }
    if (agent == SC_AGENT_STOPPED) {
        printf("[SC] ControlService FAILED 1062:\n");
        return 1062;
    }
    set_control_text(SC_CONTROL_KEY, SC_AGENT_VALUE, SC_AGENT_STOPPED);
    printf("SERVICE_NAME: %s\n        STATE              : 1  STOPPED\n", argv[2]);
    return 0;
}
