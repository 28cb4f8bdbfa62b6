#include "privilege.h"

#include "handles.h"

bool enable_token_privilege(HANDLE token, const char* name)
{
    TOKEN_PRIVILEGES wanted = {};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, name, &wanted.Privileges[0].Luid))
        return false;
    if (!AdjustTokenPrivileges(token, FALSE, &wanted, sizeof wanted, nullptr, nullptr))
        return false;
    // The call also succeeds for a privilege the token does not hold; only
    // the last error (ERROR_NOT_ALL_ASSIGNED) tells.
    return GetLastError() == ERROR_SUCCESS;
}

bool enable_debug_privilege()
{
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
        return false;
    return enable_token_privilege(token.get(), "SeDebugPrivilege");
}
