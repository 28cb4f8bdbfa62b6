#pragma once
// Starting the installed tray in every interactive logon session, as that
// session's user, from the installer's own account (LocalSystem). The
// decisions are plain functions of what the system reported; the plumbing
// that asks the system is start_trays_in_sessions().
#include <windows.h>
#include <wtsapi32.h>   // WTS_CONNECTSTATE_CLASS only: the functions are looked up at run time

#include "install_log.h"

// One session as WTSEnumerateSessions lists it.
struct listed_session {
    DWORD id;
    WTS_CONNECTSTATE_CLASS state;
};

// What the plumbing found out about the machine's sessions.
struct session_facts {
    DWORD windows_major;                 // GetVersionEx: 5 = 2000/XP/2003, 6 = Vista/7/2008
    bool listed;                         // WTSEnumerateSessions exists and succeeded
    const listed_session* sessions;      // what it listed
    size_t session_count;
    const DWORD* shell_sessions;         // the session of each running explorer.exe
    size_t shell_count;
};

// The sessions that get a tray, each once, in the order found: the listed
// sessions that are active or disconnected, or, where the listing is missing,
// failed or empty (Windows 2000 without Terminal Services), the sessions of
// the running shells. Session 0 on Vista and later is the services' own and
// never gets one. Writes at most `capacity` ids; gives their number.
size_t choose_tray_sessions(const session_facts& facts, DWORD* chosen, size_t capacity);

// Where a session's user token may come from, in the order to try.
enum token_source {
    TOKEN_FROM_SESSION_QUERY,   // WTSQueryUserToken (XP and later; needs LocalSystem with SE_TCB)
    TOKEN_FROM_SHELL,           // the token of the session's explorer.exe, duplicated as primary
};
// Gives the number of sources written to `sources` (1 or 2).
int choose_token_sources(DWORD windows_major, DWORD windows_minor, bool query_available,
                         token_source sources[2]);

// False for the accounts a tray must never run as: LocalSystem (S-1-5-18),
// LocalService (S-1-5-19) and NetworkService (S-1-5-20); true for user
// accounts. A SID is given by its authority, sub-authority count and first
// sub-authority.
bool account_may_run_tray(const SID_IDENTIFIER_AUTHORITY& authority, DWORD sub_count, DWORD first_sub);

// True for a full local path ("X:\...") whose file name is the tray's image name.
bool is_full_tray_path(const char* path);

// Starts `"tray_path" -s` on "winsta0\default" of every session that
// choose_tray_sessions() picks, as that session's user with the user's
// environment. A session without a user token, or where the start fails,
// costs one report line and is skipped. Gives the number of trays started.
int start_trays_in_sessions(const char* tray_path, setup_report report, void* context);
