#pragma once
#include <windows.h>

#include <stddef.h>

// Appends one time-stamped record to the watchdog log (printf-style).
void write_daemon_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Rotates the log into its backup when it has grown beyond 3 MiB.
void check_log_space();

// Copies the Program Files folder of the log into buffer (260 bytes).
void select_program_files_folder(char* buffer);

// Appends the log's file name to the folder held in buffer (260 bytes).
void append_daemon_log_name(char* buffer);

// Whether a failed open of the log met another opener (a reader that shares
// no writing) rather than a missing file or folder.
bool log_open_error_is_sharing(DWORD error);
// Appends record to the records held in held (capacity bytes with its NUL);
// false, and nothing held, when it does not fit.
bool hold_record(char* held, size_t capacity, const char* record);
