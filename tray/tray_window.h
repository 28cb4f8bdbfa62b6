#pragma once
#include <windows.h>

// The window procedure of the class "qor-tel".
LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
