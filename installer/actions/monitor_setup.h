#pragma once
#include <windows.h>

#include "guarded_files.h"
#include "install_log.h"

// Prepares the log folder (its path, with or without a trailing backslash):
// - opens it without following a reparse point and refuses one (a junction
//   would carry the rights and the installer's files elsewhere);
// - gives it, through that handle, the rights of monitor_folder_rights(),
//   without touching what is inside (a link a user made there must not carry
//   them elsewhere);
// - creates an empty watchdog log when there is none, as the installer's
//   account, so no user can take that name first, and replaces one that
//   daemon_log_step_for() does not keep with an empty one; the same for its
//   backup, so neither name is ever free for a user;
// - gives an existing tray log, when it is a plain file, the rights of
//   shared_log_rights(), so every user's tray can append to a log made before.
// On a volume that keeps no file rights (FAT) only the watchdog log is made.
// Gives ERROR_SUCCESS, or the error that left the folder without its rights
// (ERROR_DIRECTORY for a reparse point or a file of that name).
DWORD secure_monitor_folder(const char* folder, setup_report report, void* context);

// ---- Decisions of the folder action, on plain values ----

// What was found under a name: attributes INVALID_FILE_ATTRIBUTES, links 0
// and OWNER_UNKNOWN where they could not be read.
struct found_log {
    bool exists;
    DWORD attributes;
    DWORD links;
    file_owner owner;
};

enum daemon_log_step { DAEMON_LOG_KEEP, DAEMON_LOG_CREATE, DAEMON_LOG_REPLACE };

// The watchdog log (or its backup) found at install is kept only when it is
// a plain file with one name, owned by SYSTEM or Administrators (or by the
// action's own account); anything else a user may have made is replaced by
// an empty file.
daemon_log_step daemon_log_step_for(const found_log& found);
