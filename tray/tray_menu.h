#pragma once
#include <windows.h>

// Reads the stored strategy and shows the popup menu at the cursor.
void show_tray_menu(HWND window);
// The menu's commands: the two strategies and the About box.
void on_tray_menu_command(UINT command);
