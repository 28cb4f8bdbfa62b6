#include "worker.h"

#include "contract.h"
#include "handles.h"
#include "idle_publisher.h"
#include "tray_log.h"
#include "upgrade_watcher.h"

DWORD WINAPI tray_worker_thread(LPVOID)
{
    trim_tray_log();
    // Never joined: the handle closes at once.
    if (!unique_handle(CreateThread(nullptr, 0, idle_publisher_thread, nullptr, 0, nullptr)))
        write_tray_log(LOG_IDLE_THREAD_FAILED);
    watch_upgrade_state();
    return 0;
}
