#include "idle_publisher.h"

#include <stdlib.h>

#include "bounded_ops.h"
#include "contract.h"
#include "handles.h"
#include "idle_objects.h"
#include "tray_log.h"

DWORD idle_period_ms = 5000;

namespace {

const char ACTIVE_TEXT[] = IDLE_ACTIVE_TEXT;

void log_line(const char* message)
{
    write_tray_log(message);
}

} // namespace

bool input_tick_moved(DWORD previous_tick, DWORD current_tick)
{
    return current_tick != previous_tick;
}

bool publish_active(HANDLE mutex, void* block, DWORD wait_ms)
{
    // Any user may take the mutex and keep it: the wait is bounded. An
    // abandoned mutex is taken over like a free one.
    DWORD waited = WaitForSingleObject(mutex, wait_ms);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
        return false;
    bounded_fill(block, IDLE_BLOCK_SIZE, 0, IDLE_BLOCK_SIZE);
    bounded_copy(block, IDLE_BLOCK_SIZE, ACTIVE_TEXT, sizeof(ACTIVE_TEXT) - 1);
    ReleaseMutex(mutex);
    return true;
}

HANDLE open_or_create_idle_mutex(const char* name)
{
    idle_object mutex = obtain_idle_mutex(name);
    if (!mutex.handle)
        log_line(LOG_IDLE_MUTEX_FAILED);
    return mutex.handle;
}

HANDLE open_or_create_idle_mapping(const char* name)
{
    idle_object mapping = obtain_idle_mapping(name);
    if (mapping.step == IDLE_OBJECT_NOT_CREATED)
        log_line(LOG_IDLE_MAPPING_FAILED);
    else if (mapping.step == IDLE_OBJECT_NOT_ZEROED)
        log_line(LOG_IDLE_VIEW_FAILED);
    return mapping.handle;
}

DWORD WINAPI idle_publisher_thread(LPVOID)
{
    LASTINPUTINFO* record = static_cast<LASTINPUTINFO*>(malloc(sizeof(LASTINPUTINFO)));
    if (!record) {
        log_line(LOG_IDLE_RECORD_NULL);
        return 1;
    }
    auto free_record = [record] { free(record); };
    scope_exit<decltype(free_record)> record_owner(free_record);
    bounded_fill(record, sizeof(LASTINPUTINFO), 0, sizeof(LASTINPUTINFO));
    record->cbSize = sizeof(LASTINPUTINFO);
    record->dwTime = 0;
    DWORD previous_tick = 0;

    // Without the mutex the block is never written: give up at once.
    unique_handle mutex(open_or_create_idle_mutex(IDLE_MUTEX_NAME));
    if (!mutex) {
        log_line(LOG_IDLE_MUTEX_NULL);
        return 1;
    }
    unique_handle mapping(open_or_create_idle_mapping(IDLE_MAPPING_NAME));
    if (!mapping) {
        log_line(LOG_IDLE_MAPPING_NULL);
        return 1;
    }
    unique_view block(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, IDLE_BLOCK_SIZE));
    if (!block)
        return 1;

    const DWORD period_ms = idle_period_ms;
    bool busy_logged = false;
    for (;;) {
        Sleep(period_ms);
        if (!GetLastInputInfo(record))
            continue;
        if (input_tick_moved(previous_tick, record->dwTime) &&
            !publish_active(mutex.get(), block.get(), period_ms)) {
            // Skipped: the next look tries again with the tick still unseen.
            if (!busy_logged)
                log_line(LOG_IDLE_MUTEX_BUSY);
            busy_logged = true;
            continue;
        }
        previous_tick = record->dwTime;
    }
}
