#include "test_seams.h"

#include "monitor_setup.h"
#include "platform_seams.h"
#include "seam_env.h"
#include "watchdog_seams.h"

#include <windows.h>
#include <sddl.h>

namespace {

// Read at every call: in-process tests change the variable between calls.
file_owner made_up_or_read_owner(HANDLE file)
{
    char text[128] = {};
    if (!seam_env_text(TEST_LOG_OWNER_ENV, text, sizeof text))
        return read_file_owner_of_object(file);
    PSID made_up = nullptr;
    if (!ConvertStringSidToSidA(text, &made_up))
        return OWNER_UNKNOWN;
    file_owner owner = classify_owner(made_up, nullptr);
    LocalFree(made_up);
    return owner;
}

} // namespace

void apply_test_seams()
{
    hide_firmware_table_when_asked();
    read_file_owner = made_up_or_read_owner;
}
