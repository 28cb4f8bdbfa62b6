#include "platform_check.h"

#include "contract.h"
#include "registry.h"

#include <string.h>

bool manufacturer_is_kvm(const char* manufacturer)
{
    return strncmp(manufacturer, "Xen", 3) != 0;
}

bool is_kvm_platform(platform_open_failure_fn on_open_failure)
{
    char value[256];
    reg_value_read r = read_reg_value(HKEY_LOCAL_MACHINE, BIOS_KEY, MANUFACTURER_VALUE,
                                      value, sizeof value);
    if (!r.key_opened()) {
        if (on_open_failure)
            on_open_failure();
        return false;
    }
    return r.found() && manufacturer_is_kvm(value);
}
