#pragma once
// Files and folders a privileged program writes in a folder where users may
// create files: who owns them, whether they are plain, and the log files
// written only through a handle whose links and owner were checked. Used by
// both programs and by the package's actions.
#include <windows.h>

#include "handles.h"

// Who owns a file or folder, told apart by SID.
enum file_owner {
    OWNER_UNKNOWN,         // the owner could not be read
    OWNER_SYSTEM,          // S-1-5-18
    OWNER_ADMINISTRATORS,  // S-1-5-32-544
    OWNER_THIS_ACCOUNT,    // the account this process runs as
    OWNER_OTHER,           // a user, TrustedInstaller, anyone else
};

// owner against SYSTEM, Administrators and this_account (may be NULL).
file_owner classify_owner(PSID owner, PSID this_account);
// SYSTEM, Administrators, or the account of this process (LocalSystem for
// the watchdog and the package's deferred actions).
bool owner_is_trusted(file_owner owner);
typedef file_owner (*file_owner_fn)(HANDLE object);
// The owner of the object behind a handle opened with READ_CONTROL, against
// this process's account; test builds may make it up (Wine keeps none).
extern file_owner_fn read_file_owner;
file_owner read_file_owner_of_object(HANDLE object);

// The attributes of what a handle opened without following a reparse point
// holds. Wine follows a link even then; the name's own attributes show it,
// so a reparse point seen either way counts.
DWORD attributes_of(HANDLE handle, const char* path);
// Not a junction or another reparse point, not a file.
bool is_plain_folder(DWORD attributes);
// Not a folder, not a reparse point.
bool is_plain_file(DWORD attributes);

// Who may own a log file that is written through.
enum log_owners {
    LOG_OWNERS_TRUSTED,   // owner_is_trusted()
    LOG_OWNERS_ANY,       // the tray's log, shared by every user's tray
};

// A log found under its name is written through only when it is a plain
// file with one name and an owner the log allows; anything else a user may
// have put there is replaced.
bool log_file_usable(DWORD attributes, DWORD links, file_owner owner, log_owners owners);

struct guarded_log_options {
    log_owners owners;
    DWORD share;                  // FILE_SHARE_READ [| FILE_SHARE_WRITE]; never deletion
    SECURITY_DESCRIPTOR* fresh;   // rights of a log made anew; nullptr: inherited from the folder
    int attempts;                 // opens tried while another opener's sharing is in the way
    DWORD pause_ms;               // between two of them
};

// Opens the log at path with access (created when missing if create), held
// without delete sharing, so the name keeps naming the file that was looked
// at. A file that log_file_usable() refuses is replaced by an empty one made
// aside and renamed over the name (replace_aside): the name is never free for
// a user to take, and the other names of a linked file keep their bytes.
// Empty handle and *error when that fails.
unique_handle open_guarded_log(const char* path, DWORD access, bool create, const guarded_log_options& options,
                               DWORD* error);

// Puts a file made aside in path's folder (a GetTempFileNameA name, empty or
// a copy of copy_from, with the rights of security when given) in place of
// whatever path names. A read-only file of a single name is freed of its
// attribute first, through a handle that counted its links (the attribute of
// a linked file is that of every name). ERROR_SUCCESS or the failing error.
DWORD replace_aside(const char* path, SECURITY_DESCRIPTOR* security, const char* copy_from);

// The folder part of path, without the trailing backslash; false when there
// is none or it does not fit (capacity bytes).
bool folder_of(const char* path, char* folder, size_t capacity);
