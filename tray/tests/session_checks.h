#pragma once
// Checks of the session-end, power and hibernate handling against a window
// that hands those messages to the tray's handlers: the test program's own
// host window or the real tray window.
#include <windows.h>

// The patching decision in every situation, with the marker it logs.
void expect_session_end_markers(HWND target);
// A suspend query shows the warning and is refused once it is closed; other
// power events get the default answer and no box.
void expect_suspend_refused(HWND target, const char* screenshot_name);
void expect_other_power_events_default(HWND target);
// Each hibernate message logs exactly its line, every time.
void expect_hibernate_lines(HWND target);
