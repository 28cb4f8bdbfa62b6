#pragma once
// Drives the tray window's prompt, boxes and log from a test, whether the
// window lives in the test program or in the real tray program.
#include <windows.h>

#include "logs.h"

#include <string>
#include <vector>

namespace td {

// Visible top-level windows of a thread with this caption, topmost first.
std::vector<HWND> windows_captioned(DWORD thread, const char* caption);
// Waits until the thread shows at least `count` such windows.
std::vector<HWND> wait_windows(DWORD thread, const char* caption, size_t count,
                               DWORD timeout_ms = 10000);
bool wait_gone(HWND window, DWORD timeout_ms = 10000);
std::string window_text(HWND window);   // GBK bytes
std::string control_text(HWND dialog, int id);
HWND focus_of(DWORD thread);
RECT work_area();

// Waits until the tray log holds at least `count` messages (logs.h reads it).
bool wait_log_lines(size_t count, DWORD timeout_ms = 10000);

// The Windows Update engine in the prefix: the double copied over it, or no
// engine at all; restore_engine() puts Wine's own back (tests do, when done).
void install_engine_double(DWORD answer, DWORD delay_ms = 0);
void remove_engine();
void restore_engine();
DWORD engine_double_loads();
DWORD engine_double_calls();

// Sets up the staged-upgrade marker: "none", "file" or "dir".
void stage_upgrade_batch(const char* kind);
void set_update_count(const DWORD* count);   // nullptr: value absent

// The real tray program: ends any running copy, starts "qor-tel.exe -s"
// (under the Chinese system locale when asked), waits for its window and
// for its start-up log line, then empties the log. NULL on failure.
// tray_run::stop_trays() ends it.
HWND start_tray(bool chinese);

// After a test of the real tray program: ends it (closing `process` when
// given) and its balloons, puts Wine's update engine back, deletes the
// upgrade key and empties the log.
void end_tray_test(HANDLE process);
// A left click at desktop coordinates through X (xdotool), when the Wine
// desktop covers the X screen; false when it does not.
bool click_at(int x, int y);

} // namespace td
