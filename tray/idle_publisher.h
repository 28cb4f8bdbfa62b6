#pragma once
#include <windows.h>

// Thread entry: publishes "active" into the idle block whenever the user's
// last-input tick has moved. Returns 1 when it gives up; else never returns.
DWORD WINAPI idle_publisher_thread(LPVOID unused);
// How long the publisher sleeps between two looks at the last-input tick
// (5000 ms); read once when the thread starts.
extern DWORD idle_period_ms;

// Its log lines when it gives up.
#define LOG_IDLE_MUTEX_FAILED "create mutex error"
#define LOG_IDLE_MUTEX_NULL "m_hMutex is NULL"
#define LOG_IDLE_MAPPING_FAILED "Could not CreateFileMapping"
#define LOG_IDLE_VIEW_FAILED "Could not map view of file"
#define LOG_IDLE_MAPPING_NULL "m_hMapFile is NULL"
#define LOG_IDLE_RECORD_NULL "m_idletime is NULL"
// Once per thread: the mutex was held by another for a whole period.
#define LOG_IDLE_MUTEX_BUSY "m_hMutex held by another: publish skipped"

// The block's mutex, opened or else created; NULL (and logged) when neither.
HANDLE open_or_create_idle_mutex(const char* name);
// The block's mapping, opened as it is, or else created and zeroed; NULL
// when neither.
HANDLE open_or_create_idle_mapping(const char* name);

// True when the last-input tick differs from the previous look's.
bool input_tick_moved(DWORD previous_tick, DWORD current_tick);
// Rewrites the whole block as "active" and zeros, holding the mutex; false,
// with the block untouched, when the mutex was not had within wait_ms.
bool publish_active(HANDLE mutex, void* block, DWORD wait_ms);
