#include "bg_log_lines.h"

#include "contract.h"
#include "test_support.h"

const char* const kTrayLogPath = "C:\\Program Files" TRAY_LOG_NAME;
const char* const kMonitorDir = "C:\\Program Files\\virtio\\monitor";

std::vector<std::string> tray_log_messages()
{
    std::string text = ts::read_file(kTrayLogPath);
    std::vector<std::string> messages;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = text.substr(start, end - start);
        bool stamped = line.size() >= 22 && line[4] == '-' && line[13] == ':' &&
                       line.compare(19, 3, " : ") == 0;
        messages.push_back(stamped ? line.substr(22) : "!malformed: " + line);
    }
    if (start != text.size())
        messages.push_back("!malformed: " + text.substr(start));
    return messages;
}
