#include "process_lookup.h"

#include "handles.h"

#include <psapi.h>
#include <string.h>

namespace {

char fold(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool image_names_equal(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        if (fold(*a) != fold(*b))
            return false;
    }
    return *a == *b;
}

DWORD find_process_by_name_except(const char* name, DWORD skip_id)
{
    DWORD ids[1024];
    DWORD bytes = 0;
    // Not reset between processes: a failed GetModuleBaseNameA leaves the
    // previous (non-matching) name in place.
    char base[MAX_PATH] = "UnknownProcess";
    memset(ids, 0, sizeof ids);
    if (!EnumProcesses(ids, sizeof ids, &bytes))
        return 0;
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
        if (ids[i] == skip_id && skip_id != 0)
            continue;
        unique_handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]));
        if (!process)
            continue;
        HMODULE module = nullptr;
        DWORD needed = 0;
        if (!EnumProcessModules(process.get(), &module, sizeof module, &needed))
            continue;
        GetModuleBaseNameA(process.get(), module, base, sizeof base);
        if (image_names_equal(base, name))
            return ids[i];
    }
    return 0;
}

DWORD find_process_by_name(const char* name)
{
    return find_process_by_name_except(name, 0);
}

int terminate_process_by_id(DWORD id)
{
    unique_handle process; // declared first: the token is closed before it
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, token.put()))
        return 0;
    // Only the right that is used: PROCESS_ALL_ACCESS of newer headers is
    // refused by Windows XP and Server 2003.
    process.reset(OpenProcess(PROCESS_TERMINATE, FALSE, id));
    if (!process)
        return 0;
    return TerminateProcess(process.get(), 1) ? 1 : 0;
}
