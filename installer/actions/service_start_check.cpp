#include "service_start_check.h"

#include <windows.h>
#include <strsafe.h>

#include "contract.h"
#include "platform_check.h"

bool service_can_start(setup_report report, void* context)
{
    // The decision is the programs' own check, read here as a record to name
    // the manufacturer and, where the BIOS key is absent, its source.
    platform_record record = read_platform_record(true);
    bool can_start = platform_record_is_kvm(record);
    char shown[400] = "unreadable";
    if (record.read)
        StringCchPrintfA(shown, sizeof shown, "\"%s\"", record.manufacturer);
    if (record.source != SOURCE_BIOS_KEY) {
        char source[300];
        StringCchPrintfA(source, sizeof source, " (no BIOS key; from %s)", platform_source_text(record.source));
        StringCchCatA(shown, sizeof shown, source);
    }
    if (can_start)
        say(report, context, MANUFACTURER_VALUE " %s: the service " WATCHDOG_SERVICE_NAME " is started", shown);
    else
        say(report, context,
            MANUFACTURER_VALUE " %s: the watchdog does nothing on this machine; the service " WATCHDOG_SERVICE_NAME
            " is installed and left stopped (it starts by itself at a boot where the platform check passes)",
            shown);
    return can_start;
}
