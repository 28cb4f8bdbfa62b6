#include "service_recovery.h"

void build_failure_actions(failure_actions* out)
{
    out->actions[0] = {SC_ACTION_RESTART, RECOVERY_RESTART_DELAY_MS};
    out->actions[1] = {SC_ACTION_RESTART, RECOVERY_RESTART_DELAY_MS};
    // The last action repeats for every later failure: nothing.
    out->actions[2] = {SC_ACTION_NONE, 0};
    out->config.dwResetPeriod = RECOVERY_RESET_PERIOD_S;
    out->config.lpRebootMsg = nullptr;
    out->config.lpCommand = nullptr;
    out->config.cActions = sizeof out->actions / sizeof out->actions[0];
    out->config.lpsaActions = out->actions;
}

DWORD set_failure_actions(SC_HANDLE service)
{
    failure_actions settings;
    build_failure_actions(&settings);
    if (ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &settings.config))
        return 0;
    return GetLastError();
}
