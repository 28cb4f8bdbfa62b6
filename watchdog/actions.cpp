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

int run_as_service()
{
    if (!is_kvm_platform(log_platform_open_failure)) {
        write_daemon_log("not kvm");
        return 0;
    }
    run_service_dispatcher();
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
