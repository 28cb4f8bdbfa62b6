#pragma once
#include <windows.h>
#include <shellapi.h>
#include <stddef.h>

// Process-wide state of the tray program. Set by the entry before the
// message loop runs; the icon record and its two flags belong to the window
// thread alone: other threads post a message to g_hTrayWnd instead.
extern HINSTANCE g_hInstance;
// Written once by the entry before the window can receive anything; other
// threads may read it at any time (NULL until the window exists).
extern HWND volatile g_hTrayWnd;
extern UINT g_uAddTray;
extern UINT g_uHideTray;
extern UINT g_uTaskbarCreated;

// The icon record's size as the shell expects it: the version-3 layout,
// up to and including guidItem (504 bytes in 32-bit builds, 520 in 64-bit).
const DWORD NOTIFY_ICON_V3_SIZE = offsetof(NOTIFYICONDATAA, guidItem) + sizeof(GUID);
static_assert(NOTIFY_ICON_V3_SIZE == (sizeof(void*) == 8 ? 520 : 504), "version-3 record size");
static_assert(NOTIFY_ICON_V3_SIZE <= sizeof(NOTIFYICONDATAA), "the record holds guidItem");

// Window thread only.
extern NOTIFYICONDATAA g_nid;
extern HICON g_hIcon;
extern int g_bIconAdded;
extern int g_bTrayHidden;

// The current UI string table (ten entries), English until the entry chooses.
extern const char* const* g_pUiStrings;
