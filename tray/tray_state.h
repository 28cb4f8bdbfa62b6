#pragma once
#include <windows.h>
#include <shellapi.h>

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

// Window thread only.
extern NOTIFYICONDATAA g_nid;
extern HICON g_hIcon;
extern int g_bIconAdded;
extern int g_bTrayHidden;

// The current UI string table (ten entries), English until the entry chooses.
extern const char* const* g_pUiStrings;
