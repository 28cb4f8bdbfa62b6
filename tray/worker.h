#pragma once
#include <windows.h>

// The tray's background thread: trims the log, starts the idle publisher,
// applies the autoplay policy and watches the upgrade state. Never returns.
DWORD WINAPI tray_worker_thread(LPVOID unused);

// Logged when the idle publisher's thread cannot be started.
#define LOG_IDLE_THREAD_FAILED "CreateThread failed!"
