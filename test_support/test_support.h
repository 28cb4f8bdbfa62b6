#pragma once
// Small helpers shared by the test programs: paths, files, registry,
// processes and bounded waits. Everything here runs under Wine.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace ts {

// Folder of the running test program (with a trailing backslash) and the
// full path of a program built beside it.
std::string bin_dir();
std::string sibling(const char* file_name);

// Files.
bool file_exists(const std::string& path);
std::string read_file(const std::string& path);        // "" when missing
bool write_file(const std::string& path, const std::string& bytes);
void remove_file(const std::string& path);
void make_dirs(const std::string& path);                // like mkdir -p
void remove_tree(const std::string& path);

// Registry (values are written exactly as given, byte count included).
bool reg_set_sz(HKEY root, const char* path, const char* name, const std::string& text,
                bool with_nul = true);
bool reg_set_raw(HKEY root, const char* path, const char* name, DWORD type,
                 const void* data, DWORD size);
bool reg_set_dword(HKEY root, const char* path, const char* name, DWORD value);
void reg_delete_value(HKEY root, const char* path, const char* name);
void reg_delete_tree(HKEY root, const char* path);
// Raw bytes of a value; false when absent.
bool reg_get(HKEY root, const char* path, const char* name, std::string* bytes,
             DWORD* type = nullptr);

// The Windows the lane simulates: "2000", "xp" or "2003" (GT_WINDOWS, with no
// BIOS key and the firmware's strings made up by scripts/firmware-ns); ""
// for Wine's default, Windows 7.
std::string old_windows();
// Sets the BIOS manufacturer the platform check reads ("" writes an empty
// text): the BIOS key's value, or on an older Windows the firmware's
// System Information manufacturer (the BIOS key stays absent).
void set_manufacturer(const std::string& text);

// Processes.
struct run_result {
    bool started;
    bool finished;   // false: still running at the time-out (then killed)
    DWORD exit_code;
};
// Runs a command line hidden, optionally with extra "NAME=value" variables,
// and waits at most timeout_ms.
run_result run(const std::string& command_line, DWORD timeout_ms,
               const std::vector<std::string>& extra_env = {});
// Starts without waiting; the caller owns the returned process handle.
HANDLE start(const std::string& command_line, const std::vector<std::string>& extra_env = {});
// Ids of running processes whose image base name matches (case-insensitive).
std::vector<DWORD> processes_named(const char* image_name);
void kill_all_named(const char* image_name);

// Polls `done` every 20 ms until it is true or timeout_ms passed.
bool wait_until(const std::function<bool()>& done, DWORD timeout_ms);

// The number after `option` on this program's command line, or fallback.
int option_number(const char* option, int fallback);

} // namespace ts
