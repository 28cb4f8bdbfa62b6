#pragma once
// The two programs' logs read back in tests: where they are under Wine,
// emptied, and their messages with each record's time stamp checked for
// shape and set aside. The watchdog's records are "<stamp> : [VM-Daemon]
// <message>" CR CR LF, the tray's "<stamp> : <message>" CR LF.
#include <string>
#include <vector>

namespace logs {

std::string monitor_folder();        // C:\Program Files\virtio\monitor
std::string daemon_log_path();
std::string daemon_backup_path();
std::string tray_log_path();
// Each creates the monitor folder and deletes that program's log (the
// watchdog's backup too).
void clear_daemon_log();
void clear_tray_log();

// True for "YYYY-MM-DD HH:MM:SS".
bool is_stamp(const std::string& text);
// The watchdog log with every record's time stamp replaced by "<T>"; a record
// whose stamp has the wrong shape is marked "<BAD STAMP>" and the rest kept as is.
std::string mask_stamps(const std::string& log);

// How a log's records are laid out.
struct record_format {
    const char* end;     // the record's end
    const char* lead;    // between the stamp and the message
    // A line without a stamp continues the message before it: the tray
    // writes a message that ends in "\n" as a line of its own plus an empty one.
    bool continued;
};
extern const record_format DAEMON_RECORDS;
extern const record_format TRAY_RECORDS;

// The messages of a log's text in order. A piece out of format (a record
// without its stamp and lead that continues nothing, or bytes after the last
// record's end) comes back as "<MALFORMED> <piece>", so a comparison shows it.
std::vector<std::string> messages(const std::string& text, const record_format& format);

std::vector<std::string> daemon_log_messages(const std::string& path = daemon_log_path());
// The tray log's messages; every malformed piece also fails the test.
std::vector<std::string> tray_log_messages();

} // namespace logs
