#pragma once
#include <windows.h>

// WM_QUERYENDSESSION: writes "vm_patching" or "vm_closing" unless the
// request is exactly a logoff. The caller returns DefWindowProcA's result.
void on_query_end_session(LPARAM lParam);
// WM_POWERBROADCAST: true when the request was handled here and *result is
// the answer (a suspend refused after the warning, or at once while the
// warning is open); false for default processing.
bool on_power_broadcast(HWND window, WPARAM wParam, LRESULT* result);
// WM_HIBERNATE_ASKED / WM_HIBERNATE_CANCELLED: one log line each.
void on_hibernate_message(UINT message);

// The patching tests, made in this order: 1 when true, 0 otherwise.
int upgrade_batch_staged();
int wu_installs_at_shutdown();
int wu_updates_pending();

typedef int (*patching_test)();
// The marker a session end writes: none (nullptr) for a plain logoff, else
// "vm_patching" as soon as one test is true (later tests are not made) or
// "vm_closing" when all are false.
const char* session_end_marker(LPARAM lParam, const patching_test* tests, int count);
// The log line of a hibernate message; nullptr for any other message.
const char* hibernate_log_line(UINT message);
