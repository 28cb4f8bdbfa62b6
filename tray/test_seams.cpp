// Compiled into the test build only. Every name read here is in
// test_support/tray_seams.h.
#include "test_seams.h"

#include <windows.h>
#include <stdlib.h>

#include "idle_publisher.h"
#include "platform_seams.h"
#include "seam_env.h"
#include "tray_icon.h"
#include "tray_seams.h"
#include "upgrade_watcher.h"

namespace {

// True, with the number, when the variable is set.
bool env_number(const char* name, DWORD* number)
{
    char text[32] = {};
    if (!seam_env_text(name, text, sizeof text))
        return false;
    *number = static_cast<DWORD>(atoi(text));
    return true;
}

DWORD s_start_tick = 0;
DWORD s_shell_delay_ms = 0;

// The shell as if the taskbar came up s_shell_delay_ms after the start.
BOOL WINAPI late_shell_notify(DWORD command, NOTIFYICONDATAA* data)
{
    if (GetTickCount() - s_start_tick < s_shell_delay_ms)
        return FALSE;
    return Shell_NotifyIconA(command, data);
}

} // namespace

void apply_test_seams()
{
    hide_firmware_table_when_asked();
    env_number(TEST_IDLE_PERIOD_ENV, &idle_period_ms);
    env_number(TEST_WATCH_PAUSE_ENV, &reopen_pause_ms);
    DWORD retry_ms = 0;
    if (env_number(TEST_TRAY_RETRY_ENV, &retry_ms) && retry_ms)
        icon_retry_interval_ms = retry_ms;
    if (env_number(TEST_SHELL_DELAY_ENV, &s_shell_delay_ms) && s_shell_delay_ms) {
        s_start_tick = GetTickCount();
        shell_notify = late_shell_notify;
    }
}
