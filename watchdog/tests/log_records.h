#pragma once
// Reading the watchdog log back in tests: where it is, and its records with
// the time stamps checked for shape and set aside.
#include <string>
#include <vector>

namespace logs {

std::string monitor_folder();        // C:\Program Files\virtio\monitor
std::string daemon_log_path();
std::string daemon_backup_path();
// Creates the monitor folder and deletes the log and its backup.
void clear_daemon_log();

// True for "YYYY-MM-DD HH:MM:SS".
bool is_stamp(const std::string& text);
// The log with every record's time stamp replaced by "<T>"; a record whose
// stamp has the wrong shape is marked "<BAD STAMP>" and the rest kept as is.
std::string mask_stamps(const std::string& log);
// The messages of the log's records in order (a record ends in CR CR LF).
std::vector<std::string> daemon_log_messages();

} // namespace logs
