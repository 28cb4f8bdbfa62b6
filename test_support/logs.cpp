#include "logs.h"

#include "contract.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace logs {

namespace {

const size_t STAMP_SIZE = 19;
const std::string MALFORMED = "<MALFORMED> ";

} // namespace

const record_format DAEMON_RECORDS = {"\r\r\n", " : [VM-Daemon] ", false};
const record_format TRAY_RECORDS = {"\r\n", " : ", true};

std::string monitor_folder()
{
    return PROGRAM_FILES_FOLDER MONITOR_FOLDER_NAME;
}

std::string daemon_log_path()
{
    return PROGRAM_FILES_FOLDER DAEMON_LOG_NAME;
}

std::string daemon_backup_path()
{
    return PROGRAM_FILES_FOLDER DAEMON_BACKUP_NAME;
}

std::string tray_log_path()
{
    return PROGRAM_FILES_FOLDER TRAY_LOG_NAME;
}

void clear_daemon_log()
{
    ts::make_dirs(monitor_folder());
    ts::remove_file(daemon_log_path());
    ts::remove_file(daemon_backup_path());
}

void clear_tray_log()
{
    ts::make_dirs(monitor_folder());
    ts::remove_file(tray_log_path());
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
    const std::string record_end = DAEMON_RECORDS.end;
    std::string out;
    size_t at = 0;
    while (at < log.size()) {
        if (!is_stamp(log.substr(at, STAMP_SIZE)))
            return out + "<BAD STAMP>" + log.substr(at);
        out += "<T>";
        size_t end = log.find(record_end, at);
        end = end == std::string::npos ? log.size() : end + record_end.size();
        out += log.substr(at + STAMP_SIZE, end - at - STAMP_SIZE);
        at = end;
    }
    return out;
}

std::vector<std::string> messages(const std::string& text, const record_format& format)
{
    const std::string end_mark = format.end;
    const std::string lead = format.lead;
    const size_t head = STAMP_SIZE + lead.size();
    std::vector<std::string> out;
    bool continuable = false;   // the last entry is a message a line may continue
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(end_mark, at);
        if (end == std::string::npos) {
            out.push_back(MALFORMED + text.substr(at));
            break;
        }
        std::string record = text.substr(at, end - at);
        if (record.size() >= head && is_stamp(record.substr(0, STAMP_SIZE)) &&
            record.compare(STAMP_SIZE, lead.size(), lead) == 0) {
            out.push_back(record.substr(head));
            continuable = format.continued;
        } else if (continuable) {
            out.back() += "\n" + record;
        } else {
            out.push_back(MALFORMED + record);
        }
        at = end + end_mark.size();
    }
    return out;
}

std::vector<std::string> daemon_log_messages(const std::string& path)
{
    return messages(ts::read_file(path), DAEMON_RECORDS);
}

std::vector<std::string> tray_log_messages()
{
    std::vector<std::string> found = messages(ts::read_file(tray_log_path()), TRAY_RECORDS);
    for (const std::string& message : found) {
        if (message.compare(0, MALFORMED.size(), MALFORMED) == 0)
            ADD_FAILURE() << "tray log out of format: " << message.substr(MALFORMED.size());
    }
    return found;
}

} // namespace logs
