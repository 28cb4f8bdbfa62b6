#include "tray_state.h"
#include "ui_strings.h"

HINSTANCE g_hInstance = nullptr;
HWND volatile g_hTrayWnd = nullptr;
UINT g_uAddTray = 0;
UINT g_uHideTray = 0;
UINT g_uTaskbarCreated = 0;

NOTIFYICONDATAA g_nid;
HICON g_hIcon = nullptr;
int g_bIconAdded = 0;
int g_bTrayHidden = 0;

const char* const* g_pUiStrings = g_english_strings;
