// The package's custom actions for administrators: deferred, as the
// installer's own account (LocalSystem).
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <strsafe.h>

#include "admin_settings.h"

namespace {

const size_t LINE_CAPACITY = 128;

void log_line(MSIHANDLE install, const char* text)
{
    MSIHANDLE record = MsiCreateRecord(1);
    if (!record)
        return;
    MsiRecordSetStringA(record, 0, "[1]");
    MsiRecordSetStringA(record, 1, text);
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
    MsiCloseHandle(record);
}

void log_error(MSIHANDLE install, const char* what, unsigned long error)
{
    char line[LINE_CAPACITY] = {};
    StringCchPrintfA(line, LINE_CAPACITY, "%s failed (%lu)", what, error);
    log_line(install, line);
}

} // namespace

// After InstallServices: the service exists, and it is started only later.
extern "C" UINT __stdcall SetServiceRecovery(MSIHANDLE install)
{
    DWORD error = set_watchdog_failure_actions();
    if (error)
        log_error(install, "SetServiceRecovery", error);
    return error ? ERROR_INSTALL_FAILURE : ERROR_SUCCESS;
}

// CustomActionData: the value of UPGRADESTRATEGY, which the launch condition
// has already limited to "2" or "3".
extern "C" UINT __stdcall SetUpgradeStrategy(MSIHANDLE install)
{
    char text[8] = {};
    DWORD size = sizeof text;
    if (MsiGetPropertyA(install, "CustomActionData", text, &size) != ERROR_SUCCESS ||
        !strategy_setting_valid(text)) {
        log_line(install, "SetUpgradeStrategy: not 2 or 3");
        return ERROR_INSTALL_FAILURE;
    }
    LONG rc = write_strategy_setting(text);
    if (rc != ERROR_SUCCESS) {
        log_error(install, "SetUpgradeStrategy", static_cast<unsigned long>(rc));
        return ERROR_INSTALL_FAILURE;
    }
    return ERROR_SUCCESS;
}
