#pragma once

// Fills buffer (260 bytes) with the Program Files folder; false when unknown.
bool get_program_files_dir(char* buffer);
// Appends one time-stamped line to the tray log (file name: TRAY_LOG_NAME).
void write_tray_log(const char* log_name, const char* message);
// Deletes the tray log when it has grown beyond 10240 bytes.
void trim_tray_log();
