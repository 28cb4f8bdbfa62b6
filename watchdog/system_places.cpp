#include "system_places.h"

#include "contract.h"

namespace {

typedef BOOL(WINAPI* is_wow64_process_fn)(HANDLE, PBOOL);

bool under_wow64(wow64_lookup lookup)
{
    return lookup.found && lookup.wow64;
}

} // namespace

wow64_lookup_fn look_up_wow64 = ask_is_wow64_process;

wow64_lookup ask_is_wow64_process()
{
    wow64_lookup lookup = {false, FALSE};
    // Never imported: the program must load where the function is missing.
    is_wow64_process_fn is_wow64 = reinterpret_cast<is_wow64_process_fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process")));
    if (!is_wow64)
        return lookup;
    lookup.found = true;
    is_wow64(GetCurrentProcess(), &lookup.wow64);
    return lookup;
}

const char* program_files_folder_for(wow64_lookup lookup)
{
    return under_wow64(lookup) ? PROGRAM_FILES_X86_FOLDER : PROGRAM_FILES_FOLDER;
}

bool system_is_64bit(bool x64_build, wow64_lookup lookup)
{
    return x64_build || under_wow64(lookup);
}

const char* devcon_candidate(bool system_64bit, bool first_exists, bool second_exists)
{
    if (first_exists)
        return DEVCON_PATH_1;
    if (second_exists && system_64bit)
        return DEVCON_PATH_2;
    return nullptr;
}
