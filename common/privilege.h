#pragma once
#include <windows.h>

// Enables the privilege `name` in `token` (opened with
// TOKEN_ADJUST_PRIVILEGES); false when the token does not hold it or the
// change fails.
bool enable_token_privilege(HANDLE token, const char* name);

// Enables SeDebugPrivilege for this process when its token holds it: only
// with it may an administrator open and end a process of the system or of
// another user (the running service's among them). False when not enabled.
bool enable_debug_privilege();
