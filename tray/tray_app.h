#pragma once
#include <windows.h>

// The program's work for a command-line tail; gives the exit code.
int tray_main(const char* tail);
// "-s": the tray program proper, until its window is destroyed.
int run_tray();
// Registers the class "qor-tel" and creates the hidden tray window with its
// child control; NULL when the window cannot be created.
HWND create_tray_window();
