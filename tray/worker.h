#pragma once
#include <windows.h>

// The tray's background thread: trims the log, starts the idle publisher,
// applies the autoplay policy and watches the upgrade state. Never returns.
DWORD WINAPI tray_worker_thread(LPVOID unused);
