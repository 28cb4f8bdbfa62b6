#pragma once
#include <windows.h>

// Private messages of the tray window (its public ones are in contract.h).
// Posted by the worker after it wrote the upgrade strategy for the upgrade
// states "5" and "6": wParam = the strategy (2 or 3), lParam = 1 when the
// write succeeded. The window thread then sets the check-mark flags (on
// success) and refreshes the icon: it alone touches the icon record.
#define WM_STRATEGY_WRITTEN (WM_APP + 1)
