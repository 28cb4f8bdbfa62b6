#include "admin_settings.h"

#include "contract.h"
#include "handles.h"
#include "service_recovery.h"

#include <string.h>

bool strategy_setting_valid(const char* text)
{
    return strcmp(text, STRATEGY_AUTO_TEXT) == 0 || strcmp(text, STRATEGY_CLOSE_TEXT) == 0;
}

LONG write_strategy_setting(const char* text)
{
    unique_hkey key;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    return RegSetValueExA(key.get(), UPGRADE_STRATEGY_VALUE, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text) + 1));
}

DWORD set_watchdog_failure_actions()
{
    unique_sc_handle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return GetLastError();
    unique_sc_handle service(
        OpenServiceA(manager.get(), WATCHDOG_SERVICE_NAME, SERVICE_CHANGE_CONFIG | SERVICE_START));
    if (!service)
        return GetLastError();
    return set_failure_actions(service.get());
}
