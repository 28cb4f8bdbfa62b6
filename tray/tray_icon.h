#pragma once
#include <windows.h>
#include <shellapi.h>

// Timer of the tray window that drives the icon's retries.
const UINT_PTR ICON_RETRY_TIMER = 1;
const int ICON_RETRY_COUNT = 30;

const UINT ICON_FLAGS = NIF_MESSAGE | NIF_ICON | NIF_TIP;
const UINT BALLOON_TIMEOUT_MS = 30000;
#define TRAY_TIP_TEXT "Ondrix"
#define BALLOON_TITLE "Upgrade Notice"
#define TRAY_ICON_RESOURCE 103

// Loads the icon and fills the record; registers "TaskbarCreated". Gives 0.
int setup_tray_icon();
// Adds the icon, or modifies it when it counts as added; nothing while the
// icon is hidden and the record carries no balloon. A refused add is
// followed by a modify (the shell may still hold the icon). A refused
// attempt is retried from the window timer, with the balloon of any attempt
// it replaced; the icon counts as added after the last attempt. Gives 0.
int show_tray_icon();
// The retry timer fired.
void on_icon_retry_timer();
// 0 when the icon was deleted; 1 when it did not count as added or the
// shell refused. Stops pending retries.
int remove_tray_icon();

// Balloon text for a WM_UPGRADE_NOTIFY lParam from `table`; NULL leaves the
// previous text.
const char* balloon_text_for(LPARAM note, const char* const* table);
// WM_UPGRADE_NOTIFY: brings the icon back with the balloon.
void show_upgrade_balloon(LPARAM note);

// The shell call every icon request goes through (Shell_NotifyIconA), and
// the spacing of the retries (2000 ms).
typedef BOOL(WINAPI* shell_notify_fn)(DWORD command, NOTIFYICONDATAA* data);
extern shell_notify_fn shell_notify;
extern UINT icon_retry_interval_ms;
