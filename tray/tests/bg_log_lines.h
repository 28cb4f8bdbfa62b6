#pragma once
#include <string>
#include <vector>

// The tray log's full path under Wine and its folder.
extern const char* const kTrayLogPath;
extern const char* const kMonitorDir;

// The messages of the tray log, stamps and line ends removed; a line that
// is not "<stamp> : <message>" CR LF comes back as "!malformed: <line>".
std::vector<std::string> tray_log_messages();
