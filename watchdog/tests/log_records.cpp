#include "log_records.h"

#include "contract.h"
#include "test_support.h"
#include "watchdog_seams.h"

namespace logs {

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
