#pragma once
// What the package sets for administrators besides its files and tables:
// the watchdog service's failure actions and, when asked, the upgrade strategy.
#include <windows.h>

// "2" or "3" exactly: the values the tray's menu writes.
bool strategy_setting_valid(const char* text);

// Writes "UpgradeStrategy" as the tray's menu does (REG_SZ, the digit and its
// NUL: 2 bytes), creating the product key when it is missing. text must be
// valid; ERROR_SUCCESS or the registry's error.
LONG write_strategy_setting(const char* text);

// The failure actions of service_recovery.h on the installed watchdog
// service; ERROR_SUCCESS or the system error.
DWORD set_watchdog_failure_actions();
