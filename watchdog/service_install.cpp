#include "service_install.h"

#include "contract.h"
#include "daemon_log.h"
#include "event_report.h"
#include "handles.h"
#include "service_recovery.h"

#include <strsafe.h>
#include <string.h>

// Both the installation and the removal log this one.
#define OPEN_MANAGER_FAILED "OpenSCManager failed (%d)\n"

namespace {

int as_signed(DWORD error)
{
    return static_cast<int>(error);
}

} // namespace

void format_service_command(const char* program_path, char* command)
{
    StringCchPrintfA(command, SERVICE_COMMAND_CAPACITY, SERVICE_COMMAND_FORMAT, program_path);
}

DWORD description_data_size()
{
    return static_cast<DWORD>(strlen(WATCHDOG_DESCRIPTION));
}

void set_service_description()
{
    unique_hkey services;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERVICES_KEY, 0, KEY_ALL_ACCESS, services.put()) !=
        ERROR_SUCCESS) {
        write_daemon_log("Open the key HKEY_LOCAL_MACHINE failed!\n");
        return;
    }
    unique_hkey service;
    if (RegOpenKeyExA(services.get(), WATCHDOG_SERVICE_NAME, 0, KEY_ALL_ACCESS, service.put()) !=
        ERROR_SUCCESS) {
        write_daemon_log("Open the key %s failed!\n", WATCHDOG_SERVICE_NAME);
        return;
    }
    LONG rc = RegSetValueExA(service.get(), SERVICE_DESCRIPTION_VALUE, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(WATCHDOG_DESCRIPTION),
                             description_data_size());
    if (rc != ERROR_SUCCESS)
        write_daemon_log("Set value of the key " SERVICE_DESCRIPTION_VALUE " failed!\n");
    service.reset();
    services.reset();
    if (rc == ERROR_SUCCESS)
        write_daemon_log("Change service description successed!\n");
}

void install_service()
{
    char path[MAX_PATH] = {};
    if (!GetModuleFileNameA(nullptr, path, MAX_PATH)) {
        DWORD error = GetLastError();
        write_daemon_log("Cannot install service (%d)\n", as_signed(error));
        return;
    }
    char command[SERVICE_COMMAND_CAPACITY] = {};
    format_service_command(path, command);

    unique_sc_handle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        DWORD error = GetLastError();
        write_daemon_log(OPEN_MANAGER_FAILED, as_signed(error));
        return;
    }
    unique_sc_handle service(CreateServiceA(
        manager.get(), WATCHDOG_SERVICE_NAME, WATCHDOG_DISPLAY_NAME, SERVICE_ALL_ACCESS,
        SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command, nullptr,
        nullptr, nullptr, nullptr, nullptr));
    if (!service) {
        DWORD error = GetLastError();
        write_daemon_log("CreateService failed (%d)\n", as_signed(error));
        return;
    }
    set_service_description();
    DWORD recovery_error = set_failure_actions(service.get());
    if (recovery_error)
        write_daemon_log("ChangeServiceConfig2 failed (%d)\n", as_signed(recovery_error));
    register_event_source(path);
    service.reset();
    manager.reset();
    write_daemon_log("Service installed\n");
}

void uninstall_service()
{
    unique_sc_handle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        DWORD error = GetLastError();
        write_daemon_log(OPEN_MANAGER_FAILED, as_signed(error));
        return;
    }
    unique_sc_handle service(OpenServiceA(manager.get(), WATCHDOG_SERVICE_NAME, DELETE));
    if (!service) {
        DWORD error = GetLastError();
        write_daemon_log("OpenService failed (%d)\n", as_signed(error));
        return;
    }
    if (DeleteService(service.get())) {
        write_daemon_log("Service removed\n");
    } else {
        DWORD error = GetLastError();
        write_daemon_log("DeleteService failed (%d)\n", as_signed(error));
    }
}
