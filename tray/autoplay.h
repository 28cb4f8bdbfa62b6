#pragma once
#include <windows.h>

// Version classes: which autoplay setting belongs to this Windows.
enum {
    WINDOWS_OTHER = 0,          // NT 5.x, NT 6.2 and later, non-NT
    WINDOWS_VISTA_OR_7 = 1,     // NT 6.0 and 6.1, workstation or server
    WINDOWS_UNKNOWN = 2,        // the version query failed
};

int classify_windows_version();
// The decision behind it, from what GetVersionExA reported.
int classify_version(bool query_ok, DWORD platform_id, DWORD major, DWORD minor);

// Which setting a class gets: the user's switch or the machine policy.
enum autoplay_setting { AUTOPLAY_USER_SWITCH, AUTOPLAY_MACHINE_POLICY };
autoplay_setting autoplay_setting_for(int version_class);

// Writes the setting for the class, then tells the top-level windows.
void apply_autoplay_policy(int version_class);
void disable_autoplay_for_user(DWORD value);
void set_drive_autorun_policy(DWORD value);
