#include "footprint.h"

#include "handles.h"
#include "test_support.h"

#include <psapi.h>
#include <stdlib.h>
#include <string.h>

namespace ts {
namespace {

const char PROC_FOLDER[] = "Z:\\proc\\";
const unsigned long long UNIX_TICK_MS = 10;   // USER_HZ 100 on Linux

typedef BOOL(WINAPI* handle_count_fn)(HANDLE, PDWORD);

unsigned long long file_time_ms(const FILETIME& time)
{
    return ((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
           10000;
}

// GetProcessHandleCount is XP SP1 and later: looked up, not imported.
bool measure_windows(DWORD process_id, footprint* out)
{
    unique_handle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
    if (!process)
        return false;
    handle_count_fn handle_count = reinterpret_cast<handle_count_fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32"), "GetProcessHandleCount")));
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    FILETIME created, exited, kernel, user;
    if (!handle_count || !handle_count(process.get(), &out->handles) ||
        !GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                              sizeof memory) ||
        !GetProcessTimes(process.get(), &created, &exited, &kernel, &user))
        return false;
    out->private_bytes = memory.PrivateUsage;
    out->cpu_ms = double(file_time_ms(kernel) + file_time_ms(user));
    out->from_unix = false;
    return true;
}

// utime and stime are the 14th and 15th fields of /proc/<id>/stat; the
// second field (the command) is in parentheses and may hold blanks.
bool unix_cpu_ms(const std::string& stat, double* out)
{
    size_t at = stat.rfind(')');
    if (at == std::string::npos)
        return false;
    const char* field = stat.c_str() + at + 1;
    for (int n = 3; n < 14; ++n) {
        field = strchr(field + 1, ' ');
        if (!field)
            return false;
    }
    char* next = nullptr;
    unsigned long long user = strtoull(field, &next, 10);
    unsigned long long system = strtoull(next, nullptr, 10);
    *out = double((user + system) * UNIX_TICK_MS);
    return true;
}

// The first field of each live thread's schedstat: its run time in ns.
// Threads that have ended are not counted.
bool unix_run_time_ms(const std::string& folder, double* out)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\task\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    unsigned long long ns = 0;
    bool read = false;
    do {
        if (entry.cFileName[0] == '.')
            continue;
        std::string line = read_file(folder + "\\task\\" + entry.cFileName + "\\schedstat");
        read = read || !line.empty();
        ns += strtoull(line.c_str(), nullptr, 10);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    *out = ns / 1e6;
    return read;
}

bool measure_unix(const std::string& unix_id, footprint* out)
{
    std::string folder = PROC_FOLDER + unix_id;
    std::string status = read_file(folder + "\\status");
    size_t at = status.find("RssAnon:");
    if (at == std::string::npos)
        return false;
    if (!unix_run_time_ms(folder, &out->cpu_ms) &&
        !unix_cpu_ms(read_file(folder + "\\stat"), &out->cpu_ms))
        return false;
    out->private_bytes = SIZE_T(strtoul(status.c_str() + at + 8, nullptr, 10)) * 1024;
    out->handles = 0;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\fd\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        out->handles += entry.cFileName[0] != '.';
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    out->from_unix = true;
    return true;
}

// The Wine prefix a Unix process runs in; other test runs on the machine
// run programs of the same names in prefixes of their own.
std::string wine_prefix_of(const std::string& unix_id)
{
    std::string environment = read_file(PROC_FOLDER + unix_id + "\\environ");
    for (size_t at = 0; at < environment.size(); at = environment.find('\0', at) + 1) {
        if (environment.compare(at, 11, "WINEPREFIX=") == 0)
            return environment.c_str() + at;
        if (environment.find('\0', at) == std::string::npos)
            break;
    }
    return std::string();
}

} // namespace

std::string unix_process_of(const char* image_name)
{
    std::string found;
    const std::string prefix = wine_prefix_of("self");
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((std::string(PROC_FOLDER) + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return found;
    do {
        if (entry.cFileName[0] < '0' || entry.cFileName[0] > '9')
            continue;
        std::string command = read_file(PROC_FOLDER + std::string(entry.cFileName) + "\\cmdline");
        if (command.find(image_name) != std::string::npos &&
            wine_prefix_of(entry.cFileName) == prefix)
            found = entry.cFileName;
    } while (found.empty() && FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

bool measure_footprint(DWORD process_id, const char* image_name, footprint* out)
{
    if (measure_windows(process_id, out) && (out->handles != 0 || out->private_bytes != 0))
        return true;
    std::string unix_id = unix_process_of(image_name);
    return !unix_id.empty() && measure_unix(unix_id, out);
}

} // namespace ts
