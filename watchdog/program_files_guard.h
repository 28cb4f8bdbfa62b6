#pragma once
#include <windows.h>

// The device console tool and the log folder lie under literal Program Files
// folders. Where such a literal folder is not the system's own (a localized
// Windows 2000 or XP, Windows on another drive), any user may have made it:
// then only a tool and a folder that SYSTEM or Administrators own are used.

enum owner_kind {
    OWNER_SYSTEM,             // S-1-5-18
    OWNER_ADMINISTRATORS,     // S-1-5-32-544
    OWNER_TRUSTED_INSTALLER,  // S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464
    OWNER_OTHER,              // anybody else, or not known
};

// Whether a literal folder names the folder the registry gives, letters'
// case and a trailing backslash aside.
bool same_folder(const char* literal, const char* system_folder);
// The registry value that names the system folder a literal stands for:
// "ProgramFilesDir (x86)" for the "(x86)" literal, else "ProgramFilesDir".
const char* program_files_value_for(const char* literal);

// Why a device console tool under a literal folder that is not the system's
// own may not run; nullptr when it may.
const char* devcon_refusal(owner_kind owner, DWORD links);
bool devcon_may_run(bool system_folder, owner_kind owner, DWORD links);
// Whether the monitor folder may take the watchdog's log.
bool monitor_may_take_log(bool system_folder, owner_kind owner);

owner_kind owner_kind_of(PSID owner);

// Whether the literal folder is the system's own, read from the registry's
// 64-bit view; false when the value cannot be read.
bool literal_is_system_folder(const char* literal);
// What an owner is read of: test builds make it up per kind (Wine keeps no
// owners).
enum guarded_kind { GUARDED_DEVCON, GUARDED_MONITOR_FOLDER };
typedef owner_kind (*read_owner_fn)(HANDLE handle, guarded_kind kind);
// The owner of the object behind handle (opened with READ_CONTROL).
extern read_owner_fn read_owner;
owner_kind read_owner_of_object(HANDLE handle, guarded_kind kind);
