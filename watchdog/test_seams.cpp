#include "test_seams.h"

#include "event_report.h"
#include "handles.h"
#include "guarded_files.h"
#include "owner_seam.h"
#include "platform_seams.h"
#include "seam_env.h"
#include "supervise.h"
#include "system_places.h"
#include "watchdog_seams.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

// The REG_DWORD under the test key when it is there, else current.
DWORD registry_number(const char* value_name, DWORD current)
{
    DWORD value = 0, type = 0, size = sizeof value;
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return current;
    LONG rc = RegQueryValueExA(key.get(), value_name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                               &size);
    return rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value ? value : current;
}

// "<id> <type> <insert>|<insert>..." for the tests: Wine's event log keeps nothing.
void capture_event(DWORD event_id, const char** inserts, WORD count)
{
    FILE* file = fopen(TEST_EVENT_CAPTURE_FILE, "ab");
    if (!file)
        return;
    fprintf(file, "%lu %u ", static_cast<unsigned long>(event_id & 0xFFFF),
            static_cast<unsigned>(event_type_of(event_id)));
    for (WORD i = 0; i < count; ++i)
        fprintf(file, "%s%s", i ? "|" : "", inserts[i]);
    fputs("\n", file);
    fclose(file);
}

wow64_lookup without_is_wow64_process()
{
    return {false, FALSE};
}

} // namespace

void apply_test_seams()
{
    hide_firmware_table_when_asked();
    supervise_period_ms = registry_number(TEST_PERIOD_VALUE, supervise_period_ms);
    event_fold_period_ms = registry_number(TEST_EVENT_FOLD_VALUE, event_fold_period_ms);
    event_sink = capture_event;
    read_file_owner = made_up_or_read_owner;
    char text[32] = {};
    if (seam_env_text(TEST_NO_WOW64_LOOKUP_ENV, text, sizeof text) && atoi(text) != 0)
        look_up_wow64 = without_is_wow64_process;
}
