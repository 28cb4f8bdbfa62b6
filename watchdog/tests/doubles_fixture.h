#pragma once
// Installs the doubles of the outside tools into the test prefix and steers
// them (see test_doubles/double_control.h). Built into watchdog_doubles_fixture.
#include <windows.h>

#include <string>
#include <vector>

namespace doubles {

// A fresh start for a repair test: the watchdog log emptied, the device
// enabled with no failures, devcon only at its first place, findstr's double.
bool fresh_device_doubles();
// Copies the devcon double to path (DEVCON_PATH_1 or DEVCON_PATH_2).
bool install_devcon_double(const char* path);
// Removes the tool from both of its places.
void remove_devcon_doubles();
// Device enabled, no failures, no hang, no calls recorded.
void reset_devcon();
void set_devcon_state(const char* state);
std::string devcon_state();
// The next `count` calls of verb exit 1.
void set_devcon_failures(const char* verb, DWORD count);
// Calls of verb never end ("" for none).
void set_devcon_hang(const char* verb);
// One "<verb> <pattern>" per call, oldest first.
std::vector<std::string> devcon_calls();

// Wine's own findstr and sc are used unless the prefix names them native:
// install copies the double over the one in system32 and sets a native
// override for every process of the prefix started afterwards; uninstall
// removes the override, so Wine's own is used again.
bool install_findstr_double();
void uninstall_findstr_double();
bool install_sc_double();
void uninstall_sc_double();
// Agent running, no calls recorded.
void reset_sc();
void set_agent_state(const char* state);
std::string agent_state();
// One "<arguments>" per call of sc, oldest first.
std::vector<std::string> sc_calls();

} // namespace doubles
