#pragma once
#include <stddef.h>

// Fills buffer (260 bytes) with the Program Files folder; false when unknown.
bool get_program_files_dir(char* buffer);
// Appends one time-stamped line to the tray log (TRAY_LOG_NAME).
void write_tray_log(const char* message);
// Deletes the tray log when it has grown beyond 10240 bytes, or when the
// file has more than one link.
void trim_tray_log();

// Folder + file name into out (260 bytes, at most 258 characters); false
// when the whole path does not fit, so nothing is ever done with a cut path.
bool make_tray_log_path(const char* folder, const char* log_name, char* out);
// True for a log size that start-up deletes.
bool tray_log_too_big(long long size);
// Whether start-up deletes the log: too big, or a name of a file with more
// names, which may be any user's.
bool tray_log_removed_at_start(long long size, unsigned long links);
