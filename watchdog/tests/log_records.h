#pragma once
// What the watchdog's log and its Event Log reports hold in tests: the
// expected repair records, and the events the test build captures. Where the
// log is and how it reads back: logs.h.
#include "logs.h"

#include <string>
#include <vector>

namespace logs {

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
