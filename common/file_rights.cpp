#include "file_rights.h"

#include "contract.h"
#include "handles.h"

namespace {

const DWORD READ_EXECUTE = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
const DWORD MODIFY = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
const BYTE THROUGHOUT = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
const BYTE THIS_FOLDER_ONLY = 0;
const BYTE FILES_ONLY = OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE;

const rights_entry MONITOR_FOLDER[] = {
    {ACCOUNT_SYSTEM, FILE_ALL_ACCESS, THROUGHOUT},
    {ACCOUNT_ADMINISTRATORS, FILE_ALL_ACCESS, THROUGHOUT},
    {ACCOUNT_USERS, READ_EXECUTE, THROUGHOUT},
    // Create files; no FILE_DELETE_CHILD, so nobody's file can be removed or
    // replaced through the folder.
    {ACCOUNT_USERS, FILE_ADD_FILE, THIS_FOLDER_ONLY},
    {ACCOUNT_CREATOR_OWNER, MODIFY, FILES_ONLY},
};

const rights_entry SHARED_LOG[] = {
    {ACCOUNT_SYSTEM, FILE_ALL_ACCESS, 0},
    {ACCOUNT_ADMINISTRATORS, FILE_ALL_ACCESS, 0},
    {ACCOUNT_USERS, FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE, 0},
};

const rights_entry IDLE_MUTEX[] = {
    {ACCOUNT_SYSTEM, MUTEX_ALL_ACCESS, 0},
    {ACCOUNT_ADMINISTRATORS, MUTEX_ALL_ACCESS, 0},
    {ACCOUNT_EVERYONE, IDLE_MUTEX_USER_RIGHTS, 0},
};

template <size_t N>
rights_table table_of(const rights_entry (&entries)[N])
{
    return rights_table{entries, N};
}

BOOL allocate_sid(rights_account account, PSID* sid)
{
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    SID_IDENTIFIER_AUTHORITY creator = {SECURITY_CREATOR_SID_AUTHORITY};
    SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
    switch (account) {
    case ACCOUNT_SYSTEM:
        return AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, sid);
    case ACCOUNT_ADMINISTRATORS:
        return AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                        0, 0, 0, 0, 0, 0, sid);
    case ACCOUNT_USERS:
        return AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS,
                                        0, 0, 0, 0, 0, 0, sid);
    case ACCOUNT_CREATOR_OWNER:
        return AllocateAndInitializeSid(&creator, 1, SECURITY_CREATOR_OWNER_RID, 0, 0, 0, 0, 0, 0, 0,
                                        sid);
    case ACCOUNT_EVERYONE:
        return AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, sid);
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

bool add_entry(PACL acl, const rights_entry& entry)
{
    unique_sid sid;
    if (!allocate_sid(entry.account, sid.put()))
        return false;
    BOOL added = AddAccessAllowedAceEx(acl, ACL_REVISION, entry.inheritance, entry.mask, sid.get());
    DWORD error = GetLastError();
    sid.reset();
    SetLastError(error);
    return added != FALSE;
}

} // namespace

rights_table monitor_folder_rights()
{
    return table_of(MONITOR_FOLDER);
}

rights_table shared_log_rights()
{
    return table_of(SHARED_LOG);
}

rights_table idle_mutex_rights()
{
    return table_of(IDLE_MUTEX);
}

bool build_file_security(rights_table table, file_security* out)
{
    PACL acl = reinterpret_cast<PACL>(out->acl_storage);
    if (!InitializeAcl(acl, sizeof out->acl_storage, ACL_REVISION))
        return false;
    for (size_t i = 0; i < table.count; ++i) {
        if (!add_entry(acl, table.entries[i]))
            return false;
    }
    return InitializeSecurityDescriptor(&out->descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&out->descriptor, TRUE, acl, FALSE) &&
           SetSecurityDescriptorControl(&out->descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}
