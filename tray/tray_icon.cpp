#include "tray_icon.h"

#include <strsafe.h>

#include "contract.h"
#include "tray_state.h"
#include "ui_strings.h"

shell_notify_fn shell_notify = Shell_NotifyIconA;
UINT icon_retry_interval_ms = 2000;

// Retries still to make, and the record flags of the request they repeat.
static int s_retries_left = 0;
static UINT s_retry_flags = 0;

static BOOL notify(DWORD command)
{
    return shell_notify(command, &g_nid);
}

static BOOL add_or_modify()
{
    if (g_bIconAdded)
        return notify(NIM_MODIFY);
    // The shell refuses to add an icon it still holds ("TaskbarCreated"
    // without a new shell); a modify then reaches that icon.
    return notify(NIM_ADD) || notify(NIM_MODIFY);
}

static void stop_retries()
{
    if (s_retries_left > 0)
        KillTimer(g_nid.hWnd, ICON_RETRY_TIMER);
    s_retries_left = 0;
}

int setup_tray_icon()
{
    g_hIcon = LoadIconA(GetModuleHandleA(TRAY_IMAGE_NAME), MAKEINTRESOURCEA(TRAY_ICON_RESOURCE));
    ZeroMemory(&g_nid, sizeof g_nid);
    g_nid.cbSize = NOTIFY_ICON_V3_SIZE;
    g_nid.hWnd = g_hTrayWnd;
    g_nid.uID = 0;
    g_nid.uFlags = ICON_FLAGS;
    g_nid.uCallbackMessage = WM_TRAYICON;
    g_nid.uTimeout = BALLOON_TIMEOUT_MS;
    StringCchPrintfA(g_nid.szInfoTitle, ARRAYSIZE(g_nid.szInfoTitle), "%s", BALLOON_TITLE);
    g_nid.dwInfoFlags = NIIF_USER;
    g_uTaskbarCreated = RegisterWindowMessageA(TASKBAR_CREATED_MESSAGE);
    return 0;
}

int show_tray_icon()
{
    StringCchPrintfA(g_nid.szTip, ARRAYSIZE(g_nid.szTip), "%s", TRAY_TIP_TEXT);
    g_nid.hIcon = g_hIcon;
    if (g_bTrayHidden && !(g_nid.uFlags & NIF_INFO))
        return 0;
    // A new request replaces whatever is still being retried, but keeps the
    // balloon that was still to be shown.
    const UINT flags = g_nid.uFlags;
    const UINT pending_balloon = s_retries_left > 0 ? (s_retry_flags & NIF_INFO) : 0;
    stop_retries();
    g_nid.uFlags |= pending_balloon;
    const BOOL done = add_or_modify();
    const UINT request_flags = g_nid.uFlags;
    g_nid.uFlags = flags;
    // Without a window to time the retries, the one attempt stands.
    if (done || !g_nid.hWnd ||
        !SetTimer(g_nid.hWnd, ICON_RETRY_TIMER, icon_retry_interval_ms, nullptr)) {
        g_bIconAdded = 1;
        return 0;
    }
    s_retries_left = ICON_RETRY_COUNT;
    s_retry_flags = request_flags;
    return 0;
}

void on_icon_retry_timer()
{
    if (s_retries_left <= 0) {
        KillTimer(g_nid.hWnd, ICON_RETRY_TIMER);
        return;
    }
    const UINT flags = g_nid.uFlags;
    g_nid.uFlags = s_retry_flags;
    const BOOL done = add_or_modify();
    g_nid.uFlags = flags;
    if (done || s_retries_left == 1) {
        stop_retries();   // while the count still says the timer runs
        g_bIconAdded = 1;
        return;
    }
    --s_retries_left;
}

int remove_tray_icon()
{
    stop_retries();
    if (!g_bIconAdded)
        return 1;
    if (!notify(NIM_DELETE))
        return 1;
    g_bIconAdded = 0;
    return 0;
}

const char* balloon_text_for(LPARAM note, const char* const* table)
{
    switch (note) {
    case UPGRADE_NOTE_UPGRADING:
        return table[UI_UPGRADING];
    case UPGRADE_NOTE_RESTART:
        return table[UI_UPGRADED_RESTART];
    case UPGRADE_NOTE_OVER:
        return table[UI_UPGRADE_OVER];
    default:
        return nullptr;
    }
}

void show_upgrade_balloon(LPARAM note)
{
    g_bTrayHidden = 0;
    const char* text = balloon_text_for(note, g_pUiStrings);
    if (text)
        StringCchPrintfA(g_nid.szInfo, ARRAYSIZE(g_nid.szInfo), "%s", text);
    g_nid.uFlags |= NIF_INFO;
    show_tray_icon();
    g_nid.uFlags ^= NIF_INFO;
}
