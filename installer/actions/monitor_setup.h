#pragma once
#include <windows.h>

// One line for the installation log.
typedef void (*setup_report)(void* context, const char* text);

// Prepares the log folder (its path, with or without a trailing backslash):
// - gives it the rights of monitor_folder_rights(), without touching what is
//   inside (a link a user made there must not carry them elsewhere);
// - creates an empty watchdog log when there is none, as the installer's
//   account, so no user can take that name first;
// - gives an existing tray log, when it is a plain file, the rights of
//   shared_log_rights(), so every user's tray can append to a log made before.
// On a volume that keeps no file rights (FAT) only the watchdog log is made.
// Gives ERROR_SUCCESS, or the error that left the folder without its rights.
DWORD secure_monitor_folder(const char* folder, setup_report report, void* context);

// Ends every running tray program (they may run in several sessions) and
// waits a little for each to be gone, so its file can be replaced or removed.
// Gives the number ended.
int end_running_trays(setup_report report, void* context);
