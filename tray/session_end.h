#pragma once
#include <windows.h>

// WM_QUERYENDSESSION: writes "vm_patching" or "vm_closing" unless the
// request is exactly a logoff. The caller returns DefWindowProcA's result.
void on_query_end_session(LPARAM lParam);
// WM_POWERBROADCAST: true when the request was handled here and *result is
// the answer (a refused suspend); false for default processing.
bool on_power_broadcast(HWND window, WPARAM wParam, LRESULT* result);
// WM_HIBERNATE_ASKED / WM_HIBERNATE_CANCELLED: one log line each.
void on_hibernate_message(UINT message);
