#pragma once
#include <windows.h>

// Shows the modal upgrade prompt owned by `owner`; returns when it closes
// with the prompt's result (1005, 1006, IDCANCEL or 0).
INT_PTR show_upgrade_prompt(HWND owner);
