#pragma once
// Helpers of the tests that run the tray program: its window, its icon and
// balloon as the Wine shell shows them, and captured output.
#include <windows.h>

#include <string>
#include <vector>

#include "desktop.h"

namespace tray_run {

// The tray window of the session, or NULL.
HWND tray_window();
// Top-level windows of the class "qor-tel".
int tray_window_count();
// Starts "qor-tel.exe -s" with extra variables, or under the Chinese locale
// when env is {ts::CHINESE_LOCALE}, and waits for its window; NULL on failure.
HANDLE start_tray(const std::vector<std::string>& env = {}, HWND* window = nullptr);
// Ends every tray program and waits until its window is gone.
void stop_trays();

// True when the shell holds the icon of `window` (a modify that changes
// nothing succeeds only for a registered icon).
bool icon_present(HWND window);
bool wait_icon(HWND window, bool present, DWORD timeout_ms);
// Text of the balloon the shell shows now (wide), "" when none.
std::wstring balloon_text();
bool wait_balloon(const std::wstring& text, DWORD timeout_ms);
// For failure messages.
std::string utf8(const std::wstring& text);
// Closes any balloon (WM_CLOSE on the shell's visible tooltips).
void dismiss_balloons();

// Runs a command with standard output to a file; gives the exit code
// (0xFFFFFFFF when it did not end within timeout_ms) and the bytes written.
DWORD run_captured(const std::string& command_line, std::string* output, DWORD timeout_ms = 10000,
                   const std::vector<std::string>& env = {});

// Posts a registered message ("AddTray", "HideTray", "TaskbarCreated").
void post_registered(HWND window, const char* name);

// The idle block's 256 bytes, read and then cleared holding its mutex, as an
// outside reader does; "" when the block or the mutex cannot be had.
std::string take_idle_block();
// A one-pixel mouse move: Wine's last-input tick stays 0 until the first
// input, which the idle publisher's first look would take for no input.
void nudge_mouse();

} // namespace tray_run
