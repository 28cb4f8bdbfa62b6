#include "log_records.h"

#include "contract.h"
#include "test_support.h"
#include "watchdog_seams.h"

namespace logs {

namespace {

const std::string RECORD_END = "\r\r\n";
const std::string MASKED_PREFIX = "<T> : [VM-Daemon] ";

} // namespace

std::string monitor_folder()
{
    return std::string(PROGRAM_FILES_FOLDER) + "\\virtio\\monitor";
}

std::string daemon_log_path()
{
    return std::string(PROGRAM_FILES_FOLDER) + DAEMON_LOG_NAME;
}

std::string daemon_backup_path()
{
    return std::string(PROGRAM_FILES_FOLDER) + DAEMON_BACKUP_NAME;
}

void clear_daemon_log()
{
    ts::make_dirs(monitor_folder());
    ts::remove_file(daemon_log_path());
    ts::remove_file(daemon_backup_path());
}

bool is_stamp(const std::string& text)
{
    const std::string shape = "dddd-dd-dd dd:dd:dd";
    if (text.size() != shape.size())
        return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        bool ok = shape[i] == 'd' ? (text[i] >= '0' && text[i] <= '9') : text[i] == shape[i];
        if (!ok)
            return false;
    }
    return true;
}

std::string mask_stamps(const std::string& log)
{
    std::string out;
    size_t at = 0;
    while (at < log.size()) {
        if (!is_stamp(log.substr(at, 19)))
            return out + "<BAD STAMP>" + log.substr(at);
        out += "<T>";
        size_t end = log.find(RECORD_END, at);
        end = end == std::string::npos ? log.size() : end + RECORD_END.size();
        out += log.substr(at + 19, end - at - 19);
        at = end;
    }
    return out;
}

std::vector<std::string> daemon_log_messages()
{
    std::vector<std::string> messages;
    std::string masked = mask_stamps(ts::read_file(daemon_log_path()));
    size_t at = 0;
    while (at < masked.size()) {
        size_t end = masked.find(RECORD_END, at);
        if (end == std::string::npos || masked.compare(at, MASKED_PREFIX.size(), MASKED_PREFIX)) {
            messages.push_back("<MALFORMED> " + masked.substr(at));
            break;
        }
        messages.push_back(masked.substr(at + MASKED_PREFIX.size(), end - at - MASKED_PREFIX.size()));
        at = end + RECORD_END.size();
    }
    return messages;
}

std::string device_command(const std::string& word)
{
    return "Cmd.exe /C \"\"C:\\Program Files\\virtio\\bin\\devcon.exe\" " + word +
           " \"pci\\ven_1af4&dev_1003\"\"";
}

std::string status_command()
{
    return "Cmd.exe /C \"\"C:\\Program Files\\virtio\\bin\\devcon.exe\" status "
           "\"pci\\ven_1af4&dev_1003\" | findstr running\"";
}

std::vector<std::string> repair_messages(int stop_exit_code)
{
    return {"Cmd.exe /C sc stop sen-drik Exit code = " + std::to_string(stop_exit_code),
            "stop sen-drik service successfully!",
            "enable_disable_serial_dev cmd=" + device_command("disable"),
            device_command("disable") + " Exit code = 0",
            "disable virtio console device successfully!",
            "enable_disable_serial_dev cmd=" + device_command("enable"),
            device_command("enable") + " Exit code = 0",
            "enable virtio console device successfully!"};
}

std::vector<std::string> captured_events()
{
    std::vector<std::string> events;
    std::string text = ts::read_file(TEST_EVENT_CAPTURE_FILE);
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        events.push_back(text.substr(start, end - start));
    return events;
}

void clear_captured_events()
{
    ts::make_dirs("C:\\gt_test");
    ts::remove_file(TEST_EVENT_CAPTURE_FILE);
}

} // namespace logs
