#pragma once
#include <windows.h>
#include <stddef.h>

// Rights on the log folder and the shared tray log. Accounts are named by
// well-known SID only: group names are translated on non-English Windows.
enum rights_account {
    ACCOUNT_SYSTEM,          // S-1-5-18
    ACCOUNT_ADMINISTRATORS,  // S-1-5-32-544
    ACCOUNT_USERS,           // S-1-5-32-545
    ACCOUNT_CREATOR_OWNER,   // S-1-3-0: stands for the owner of what is created below
    ACCOUNT_EVERYONE,        // S-1-1-0
};

struct rights_entry {
    rights_account account;
    DWORD mask;
    BYTE inheritance;  // OBJECT_INHERIT_ACE, CONTAINER_INHERIT_ACE, INHERIT_ONLY_ACE
};

struct rights_table {
    const rights_entry* entries;
    size_t count;
};

// The "virtio\monitor" folder: SYSTEM and Administrators full control and
// every user read access, throughout; every user may create files in the
// folder itself (but not delete or replace another's); whoever creates a file
// may change and delete that file.
rights_table monitor_folder_rights();

// The tray log, which every user's tray appends to and trims: SYSTEM and
// Administrators full control, every user read, write and delete.
rights_table shared_log_rights();

// The idle mutex: SYSTEM and Administrators full access; everybody only
// wait, release and read its security (IDLE_MUTEX_USER_RIGHTS), so nobody
// else may change its DACL and deny it to the trays.
rights_table idle_mutex_rights();

// An absolute security descriptor with a protected DACL (nothing inherited
// from the parent) holding a table's entries in order. The descriptor points
// into acl_storage: keep the struct where it was built.
struct file_security {
    SECURITY_DESCRIPTOR descriptor;
    DWORD acl_storage[128];
};

// False, with the last error of the failing call, when it cannot be built.
bool build_file_security(rights_table table, file_security* out);
