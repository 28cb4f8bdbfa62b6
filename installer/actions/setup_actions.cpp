// The package's custom actions. The deferred ones run as the installer's own
// account (LocalSystem), between InstallInitialize and InstallFinalize;
// CheckPlatform runs immediate, before costing.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "admin_settings.h"
#include "install_log.h"
#include "monitor_setup.h"
#include "msi_handles.h"
#include "platform_check.h"
#include "service_start_check.h"
#include "session_trays.h"
#include "tray_ending.h"
#include "test_seams.h"

namespace {

void log_to_installer(void* context, const char* text)
{
    MSIHANDLE install = *static_cast<MSIHANDLE*>(context);
    unique_msi_handle record(MsiCreateRecord(1));
    if (!record)
        return;
    // The text goes in a field, so brackets in a path are not formatted.
    MsiRecordSetStringA(record.get(), 0, "[1]");
    MsiRecordSetStringA(record.get(), 1, text);
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
}

} // namespace

#ifdef GT_TEST_SEAMS
// Every action passes through here first, when the DLL is loaded.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        apply_test_seams();
    return TRUE;
}
#endif

// CustomActionData: the monitor folder.
extern "C" UINT __stdcall SetMonitorRights(MSIHANDLE install)
{
    char folder[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    UINT rc = MsiGetPropertyA(install, "CustomActionData", folder, &size);
    if (rc != ERROR_SUCCESS || folder[0] == 0) {
        log_to_installer(&install, "SetMonitorRights: no folder given");
        return ERROR_INSTALL_FAILURE;
    }
    if (secure_monitor_folder(folder, log_to_installer, &install) != ERROR_SUCCESS)
        return ERROR_INSTALL_FAILURE;
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall EndTrays(MSIHANDLE install)
{
    end_running_trays(log_to_installer, &install);
    return ERROR_SUCCESS;
}

// Sets the property that conditions StartServices: "1" where the watchdog
// runs, nothing where it would end at once (its start would fail the install).
extern "C" UINT __stdcall CheckPlatform(MSIHANDLE install)
{
    bool can_start = service_can_start(log_to_installer, &install);
    return MsiSetPropertyA(install, "GtServiceCanStart", can_start ? "1" : "");
}

// Starts the installed tray in every interactive session, as its user, after
// an install or an upgrade. CustomActionData: the tray's full path. Never
// fails the installation: the Run value still starts the tray at the next
// logon.
extern "C" UINT __stdcall StartTrays(MSIHANDLE install)
{
    char tray[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (MsiGetPropertyA(install, "CustomActionData", tray, &size) != ERROR_SUCCESS || tray[0] == 0) {
        log_to_installer(&install, "StartTrays: no tray path given");
        return ERROR_SUCCESS;
    }
    if (!is_kvm_platform()) {
        log_to_installer(&install, "StartTrays: not a KVM guest, no tray started");
        return ERROR_SUCCESS;
    }
    start_trays_in_sessions(tray, log_to_installer, &install);
    return ERROR_SUCCESS;
}

// After InstallServices: the service exists, and it is started only later.
extern "C" UINT __stdcall SetServiceRecovery(MSIHANDLE install)
{
    DWORD error = set_watchdog_failure_actions();
    if (error)
        say(log_to_installer, &install, "SetServiceRecovery failed (%lu)", error);
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
        log_to_installer(&install, "SetUpgradeStrategy: not 2 or 3");
        return ERROR_INSTALL_FAILURE;
    }
    LONG rc = write_strategy_setting(text);
    if (rc != ERROR_SUCCESS) {
        say(log_to_installer, &install, "SetUpgradeStrategy failed (%ld)", static_cast<long>(rc));
        return ERROR_INSTALL_FAILURE;
    }
    return ERROR_SUCCESS;
}
