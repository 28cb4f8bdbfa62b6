#pragma once
#include <windows.h>

// Thread entry: publishes "active" into the idle block whenever the user's
// last-input tick has moved. Returns 1 when it gives up; else never returns.
DWORD WINAPI idle_publisher_thread(LPVOID unused);

// The block's mutex, opened or else created; NULL (and logged) when neither.
HANDLE open_or_create_idle_mutex(const char* name);
// The block's mapping, opened as it is, or else created and zeroed; NULL
// when neither.
HANDLE open_or_create_idle_mapping(const char* name);

// True when the last-input tick differs from the previous look's.
bool input_tick_moved(DWORD previous_tick, DWORD current_tick);
// Rewrites the whole block as "active" and zeros, holding the mutex.
void publish_active(HANDLE mutex, void* block);
