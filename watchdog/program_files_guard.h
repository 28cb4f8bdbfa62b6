#pragma once
#include <windows.h>

// The device console tool and the log folder lie under literal Program Files
// folders. Where such a literal folder is not the system's own (a localized
// Windows 2000 or XP, Windows on another drive), any user may have made it,
// and any folder under it: a junction there can be re-pointed between a
// check of the path and cmd.exe's own resolution of it, and an owner check
// would not tell who may write a folder an administrator made at C:\ (it
// inherits the root's rights, which let users write). Nothing under such a
// folder is run or written to.

// Whether a literal folder names the folder the registry gives, letters'
// case and a trailing backslash aside.
bool same_folder(const char* literal, const char* system_folder);
// The registry value that names the system folder a literal stands for:
// "ProgramFilesDir (x86)" for the "(x86)" literal, else "ProgramFilesDir".
const char* program_files_value_for(const char* literal);

// Why a device console tool under a literal folder may not run; nullptr when
// the literal folder is the system's own.
const char* devcon_refusal(bool system_folder);

// Whether the literal folder is the system's own, read from the registry's
// 64-bit view; false when the value cannot be read.
bool literal_is_system_folder(const char* literal);
