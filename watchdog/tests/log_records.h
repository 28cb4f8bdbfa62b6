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

// The device tool's commands with the tool at its first place, spelled out
// here rather than taken from the program's formats.
std::string device_command(const std::string& word);   // "disable" or "enable"
std::string status_command();
// The messages of a repair whose three phases succeed at the first attempt,
// the stop command exiting with stop_exit_code (1062: the agent was stopped).
std::vector<std::string> repair_messages(int stop_exit_code);

// What the watchdog of the test build reported to the Event Log, one
// "<id> <type> <insert>|<insert>..." each (the last insert: reports left out).
std::vector<std::string> captured_events();
void clear_captured_events();

} // namespace logs
