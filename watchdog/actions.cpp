#include "actions.h"

#include "contract.h"
#include "daemon_log.h"
#include "event_report.h"
#include "platform_check.h"
#include "privilege.h"
#include "process_lookup.h"
#include "service_host.h"
#include "service_install.h"
#include "supervise.h"

void log_platform_open_failure()
{
    write_daemon_log("%s\n", "RegOpenKeyEx failed.\n");
}

bool foreground_permitted(DWORD first_found, DWORD self)
{
    return first_found == self;
}

bool log_platform_record(const platform_record& record)
{
    if (record.key_error == ERROR_FILE_NOT_FOUND) {
        char line[400];
        describe_platform_record(record, line, sizeof line);
        write_daemon_log("%s", line);
    }
    bool kvm = platform_record_is_kvm(record);
    if (!kvm)
        write_daemon_log("not kvm");
    return kvm;
}

int run_as_service()
{
    platform_record record = read_platform_record(false);
    if (record.key_error != ERROR_SUCCESS)
        log_platform_open_failure();
    if (record.source == SOURCE_WMI) {
        // WMI may have to be started by the service manager, which starts
        // nothing while it waits for this service: asked once it runs.
        run_service_dispatcher(&record);
        return 0;
    }
    if (!log_platform_record(record))
        return 0;
    run_service_dispatcher(nullptr);
    return 0;
}

int run_foreground()
{
    if (!foreground_permitted(find_process_by_name(WATCHDOG_IMAGE_NAME), GetCurrentProcessId())) {
        write_daemon_log("Olny one sen_drik_hald.exe process is permitted!");
        return 0;
    }
    supervise_agent();
    return 0;
}

int remove_watchdog()
{
    uninstall_service();
    unregister_event_source();
    // Without it an administrator may neither look into nor end the service's process.
    enable_debug_privilege();
    // The lookup skips this process: the one to end is the running watchdog.
    DWORD other = find_process_by_name_except(WATCHDOG_IMAGE_NAME, GetCurrentProcessId());
    if (other)
        terminate_process_by_id(other);
    return 0;
}
