#include "program_files_guard.h"

#include "contract.h"
#include "registry.h"
#include "system_places.h"

#include <string.h>

namespace {

const size_t VALUE_CAPACITY = 260;
const size_t OWNER_BUFFER = 512;

char lower_ascii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sid_is(PSID sid, SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD a0, DWORD a1 = 0,
            DWORD a2 = 0, DWORD a3 = 0, DWORD a4 = 0, DWORD a5 = 0)
{
    PSID known = nullptr;
    if (!AllocateAndInitializeSid(&authority, count, a0, a1, a2, a3, a4, a5, 0, 0, &known))
        return false;
    bool equal = EqualSid(sid, known) != FALSE;
    FreeSid(known);
    return equal;
}

} // namespace

bool same_folder(const char* literal, const char* system_folder)
{
    size_t length = strlen(literal);
    for (size_t i = 0; i < length; ++i) {
        if (lower_ascii(literal[i]) != lower_ascii(system_folder[i]))
            return false;   // also where system_folder ends first
    }
    const char* rest = system_folder + length;
    return rest[0] == '\0' || (rest[0] == '\\' && rest[1] == '\0');
}

const char* program_files_value_for(const char* literal)
{
    return strcmp(literal, PROGRAM_FILES_X86_FOLDER) == 0 ? PROGRAM_FILES_X86_DIR_VALUE
                                                          : PROGRAM_FILES_DIR_VALUE;
}

const char* devcon_refusal(owner_kind owner, DWORD links)
{
    if (owner == OWNER_OTHER)
        return "not owned by SYSTEM, Administrators or TrustedInstaller";
    if (links != 1)
        return "more than one link";
    return nullptr;
}

bool devcon_may_run(bool system_folder, owner_kind owner, DWORD links)
{
    return system_folder || devcon_refusal(owner, links) == nullptr;
}

bool monitor_may_take_log(bool system_folder, owner_kind owner)
{
    return system_folder || owner == OWNER_SYSTEM || owner == OWNER_ADMINISTRATORS;
}

owner_kind owner_kind_of(PSID owner)
{
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    if (!owner)
        return OWNER_OTHER;
    if (sid_is(owner, nt, 1, SECURITY_LOCAL_SYSTEM_RID))
        return OWNER_SYSTEM;
    if (sid_is(owner, nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS))
        return OWNER_ADMINISTRATORS;
    // NT SERVICE\TrustedInstaller (Vista on), which owns the system's files.
    if (sid_is(owner, nt, 6, 80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u))
        return OWNER_TRUSTED_INSTALLER;
    return OWNER_OTHER;
}

bool literal_is_system_folder(const char* literal)
{
    // A 32-bit program on 64-bit Windows reads its own view's ProgramFilesDir
    // as the "(x86)" folder: the 64-bit view gives the system's. Windows 2000
    // knows no views and no such flag.
    wow64_lookup lookup = look_up_wow64();
    REGSAM view = lookup.found && lookup.wow64 ? KEY_WOW64_64KEY : 0;
    char value[VALUE_CAPACITY];
    reg_value_read r = read_reg_value(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY,
                                      program_files_value_for(literal), value, sizeof value, view);
    return r.found() && r.type == REG_SZ && same_folder(literal, value);
}

read_owner_fn read_owner = read_owner_of_object;

owner_kind read_owner_of_object(HANDLE handle, guarded_kind)
{
    DWORD storage[OWNER_BUFFER / sizeof(DWORD)];
    DWORD needed = 0;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetKernelObjectSecurity(handle, OWNER_SECURITY_INFORMATION, storage, sizeof storage,
                                 &needed) ||
        !GetSecurityDescriptorOwner(storage, &owner, &defaulted))
        return OWNER_OTHER;
    return owner_kind_of(owner);
}
