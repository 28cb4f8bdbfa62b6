#include "doubles_fixture.h"
#include "log_records.h"

#include "contract.h"
#include "double_control.h"
#include "double_io.h"
#include "test_support.h"

namespace doubles {

namespace {

const char* const SYSTEM32 = "C:\\windows\\system32\\";

std::vector<std::string> lines_of(const std::string& path)
{
    std::vector<std::string> lines;
    std::string text = ts::read_file(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string folder_of(const std::string& path)
{
    return path.substr(0, path.rfind('\\'));
}

const char* const WINE_OVERRIDES_KEY = "Software\\Wine\\DllOverrides";   // HKEY_CURRENT_USER

// Wine reads WINEDLLOVERRIDES from the Unix environment it was started with,
// so a variable set here would not reach the children; this key reaches
// every process of the prefix that starts after it is written.
void override_native(const char* image, bool on)
{
    if (on)
        ts::reg_set_sz(HKEY_CURRENT_USER, WINE_OVERRIDES_KEY, image, "native");
    else
        ts::reg_delete_value(HKEY_CURRENT_USER, WINE_OVERRIDES_KEY, image);
}

bool copy_double(const char* image, const std::string& to)
{
    ts::make_dirs(folder_of(to));
    return CopyFileA(ts::sibling(image).c_str(), to.c_str(), FALSE) != 0;
}

} // namespace

bool install_devcon_double(const char* path)
{
    return copy_double("devcon.exe", path);
}

void remove_devcon_doubles()
{
    ts::remove_file(DEVCON_PATH_1);
    ts::remove_file(DEVCON_PATH_2);
}

void reset_devcon()
{
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, DEVCON_CONTROL_KEY);
    ts::remove_file(DEVCON_CALLS_LOG);
}

void set_devcon_state(const char* state)
{
    set_control_text(DEVCON_CONTROL_KEY, DEVCON_STATE_VALUE, state);
}

std::string devcon_state()
{
    return control_text(DEVCON_CONTROL_KEY, DEVCON_STATE_VALUE, DEVCON_STATE_ENABLED);
}

void set_devcon_failures(const char* verb, DWORD count)
{
    set_control_count(DEVCON_CONTROL_KEY, (std::string(DEVCON_FAIL_PREFIX) + verb).c_str(), count);
}

void set_devcon_hang(const char* verb)
{
    set_control_text(DEVCON_CONTROL_KEY, DEVCON_HANG_VALUE, verb);
}

std::vector<std::string> devcon_calls()
{
    return lines_of(DEVCON_CALLS_LOG);
}

bool install_findstr_double()
{
    override_native("findstr.exe", true);
    return copy_double("findstr.exe", std::string(SYSTEM32) + "findstr.exe");
}

void uninstall_findstr_double()
{
    override_native("findstr.exe", false);
}

bool install_sc_double()
{
    override_native("sc.exe", true);
    return copy_double("sc.exe", std::string(SYSTEM32) + "sc.exe");
}

void uninstall_sc_double()
{
    override_native("sc.exe", false);
}

void reset_sc()
{
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, SC_CONTROL_KEY);
    ts::remove_file(SC_CALLS_LOG);
}

void set_agent_state(const char* state)
{
    set_control_text(SC_CONTROL_KEY, SC_AGENT_VALUE, state);
}

std::string agent_state()
{
    return control_text(SC_CONTROL_KEY, SC_AGENT_VALUE, SC_AGENT_RUNNING);
}

std::vector<std::string> sc_calls()
{
    return lines_of(SC_CALLS_LOG);
}

bool fresh_device_doubles()
{
    logs::clear_daemon_log();
    reset_devcon();
    remove_devcon_doubles();
    return install_devcon_double(DEVCON_PATH_1) && install_findstr_double();
}

} // namespace doubles
