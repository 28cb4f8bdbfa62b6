// Stands in for the device console tool: "devcon <verb> <pattern>" with the
// verbs disable, enable and status, a device state kept in the registry, and
// failures and a hang steered by the test (double_control.h).
#include "contract.h"
#include "double_control.h"
#include "double_io.h"

#include <stdio.h>
#include <string.h>

namespace {

bool is_verb(const char* verb)
{
    return !strcmp(verb, "disable") || !strcmp(verb, "enable") || !strcmp(verb, "status");
}

std::string device_state(const char* pattern)
{
    if (_stricmp(pattern, CONSOLE_HARDWARE_ID) != 0)
        return DEVCON_STATE_ABSENT;
    return control_text(DEVCON_CONTROL_KEY, DEVCON_STATE_VALUE, DEVCON_STATE_ENABLED);
}

// True when this call is told to fail; uses up one failure.
bool take_failure(const char* verb)
{
    std::string name = std::string(DEVCON_FAIL_PREFIX) + verb;
    DWORD left = control_count(DEVCON_CONTROL_KEY, name.c_str());
    if (left == 0)
        return false;
    set_control_count(DEVCON_CONTROL_KEY, name.c_str(), left - 1);
    return true;
}

int status(const std::string& state)
{
    if (state == DEVCON_STATE_ABSENT) {
        printf("No matching devices found.\n");
        return 0;
    }
    printf("PCI\\VEN_1AF4&DEV_1003&SUBSYS_00031AF4&REV_00\\3&13C0B0C5&0&28\n");
    printf("    Name: VirtIO Serial Driver\n");
    printf(state == DEVCON_STATE_ENABLED ? "    Driver is running.\n" : "    Device is disabled.\n");
    printf("1 matching device(s) found.\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || !is_verb(argv[1])) {
        printf("devcon double: devcon disable|enable|status <pattern>\n");
        return 2;
    }
    const char* verb = argv[1];
    const char* pattern = argv[2];
    record_call(DEVCON_CALLS_LOG, std::string(verb) + " " + pattern);

    if (control_text(DEVCON_CONTROL_KEY, DEVCON_HANG_VALUE, "") == verb)
        Sleep(INFINITE);
    if (take_failure(verb)) {
        printf("devcon failed.\n");
        return 1;
    }
    std::string state = device_state(pattern);
    if (!strcmp(verb, "status"))
        return status(state);
    if (state == DEVCON_STATE_ABSENT) {
        printf("No devices %sd.\n", verb);
        return 1;
    }
    bool disable = !strcmp(verb, "disable");
    set_control_text(DEVCON_CONTROL_KEY, DEVCON_STATE_VALUE,
                     disable ? DEVCON_STATE_DISABLED : DEVCON_STATE_ENABLED);
    printf("PCI\\VEN_1AF4&DEV_1003&SUBSYS_00031AF4&REV_00\\3&13C0B0C5&0&28: %s\n",
           disable ? "Disabled" : "Enabled");
    printf("1 device(s) %sd.\n", verb);
    return 0;
}
