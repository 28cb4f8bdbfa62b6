#pragma once
#include <windows.h>

// The idle block "Global\UserIdleFileMappingObject" and its mutex
// "Global\UserIdleMutexFlag", opened when they exist, else created so that
// the programs of every user and session may open them: the block open to
// everybody, the mutex to wait on and release (IDLE_MUTEX_USER_RIGHTS).

enum idle_object_step {
    IDLE_OBJECT_READY,
    IDLE_OBJECT_NO_DESCRIPTOR,   // the open security descriptor could not be built
    IDLE_OBJECT_NOT_CREATED,     // neither opened nor created
    IDLE_OBJECT_NOT_ZEROED,      // a new block could not be mapped to be zeroed
};

struct idle_object {
    HANDLE handle;           // NULL unless ready
    idle_object_step step;
    DWORD error;             // the failing call's last error
};

// The mutex, not owned, its handle not inheritable and holding exactly
// IDLE_MUTEX_USER_RIGHTS.
idle_object obtain_idle_mutex(const char* name);
// The block as it is, or else a new one: 256 bytes of the page file, zeroed,
// its handle inheritable.
idle_object obtain_idle_mapping(const char* name);
