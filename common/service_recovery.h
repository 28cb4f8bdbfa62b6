#pragma once
// The watchdog service's failure actions, set by "-i" and by the package:
// restart after 60 s at the first and second failure, nothing after that,
// the count reset after a day. To the service manager a failure is a service
// process that ends without having reported SERVICE_STOPPED; a reported
// STOPPED, whatever its exit code, is none (only the Vista flag
// SERVICE_CONFIG_FAILURE_ACTIONS_FLAG changes that, and it is never set).
#include <windows.h>

const DWORD RECOVERY_RESTART_DELAY_MS = 60000;
const DWORD RECOVERY_RESET_PERIOD_S = 86400;

struct failure_actions {
    SC_ACTION actions[3];
    SERVICE_FAILURE_ACTIONSA config;   // points into actions
    failure_actions() = default;
    failure_actions(const failure_actions&) = delete;
    failure_actions& operator=(const failure_actions&) = delete;
};

// Fills what ChangeServiceConfig2A is handed; no reboot message, no command.
void build_failure_actions(failure_actions* out);

// Sets them on a service opened with SERVICE_CHANGE_CONFIG and SERVICE_START
// (a restart action needs both); 0 or the system error.
DWORD set_failure_actions(SC_HANDLE service);
