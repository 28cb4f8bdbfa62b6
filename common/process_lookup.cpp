#include "process_lookup.h"

#include "handles.h"

#include <psapi.h>

#include <vector>

namespace {

const size_t FIND_LIST = 1024;   // ids looked at by a search for one process
const size_t FIRST_LIST = 1024;

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

void for_each_process_named(const char* name, DWORD extra_access, size_t max_ids, process_visit visit,
                            void* context)
{
    std::vector<DWORD> ids(max_ids ? max_ids : FIRST_LIST);
    DWORD bytes = 0;
    for (;;) {
        if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes))
            return;
        // A full list may have left processes out: asked again with more room.
        if (max_ids || bytes < ids.size() * sizeof(DWORD))
            break;
        ids.resize(ids.size() * 2);
    }
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
        unique_handle process(
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | extra_access, FALSE, ids[i]));
        if (!process)
            continue;
        HMODULE module = nullptr;
        DWORD needed = 0;
        char base[MAX_PATH] = {};
        if (!EnumProcessModules(process.get(), &module, sizeof module, &needed) ||
            !GetModuleBaseNameA(process.get(), module, base, sizeof base))
            continue;
        if (image_names_equal(base, name) && !visit(process.get(), ids[i], context))
            return;
    }
}

DWORD find_process_by_name_except(const char* name, DWORD skip_id)
{
    struct search {
        DWORD skip;
        DWORD found;
    } wanted = {skip_id, 0};
    for_each_process_named(name, 0, FIND_LIST, [](HANDLE, DWORD id, void* context) {
        search* s = static_cast<search*>(context);
        if (id == s->skip && s->skip != 0)
            return true;
        s->found = id;
        return false;
    }, &wanted);
    return wanted.found;
}

DWORD find_process_by_name(const char* name)
{
    return find_process_by_name_except(name, 0);
}

int terminate_process_by_id(DWORD id)
{
    // Only the right that is used: PROCESS_ALL_ACCESS of newer headers is
    // refused by Windows XP and Server 2003.
    unique_handle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
    if (!process)
        return 0;
    return TerminateProcess(process.get(), 1) ? 1 : 0;
}
