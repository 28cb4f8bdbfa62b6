#include "tray_log.h"

#include <windows.h>
#include <shlobj.h>
#include <fcntl.h>
#include <io.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <strsafe.h>

#include "contract.h"
#include "file_rights.h"
#include "guarded_files.h"
#include "handles.h"

namespace {

const size_t PATH_CAPACITY = 259;   // of a MAX_PATH buffer, terminator included
const long long TRIM_THRESHOLD = 10240;
const int OPEN_ATTEMPTS = 8;
const DWORD OPEN_RETRY_PAUSE_MS = 10;

// The window, worker and idle threads all log. The lock is made on first use
// (no InitOnce before Vista): 0 = not yet, 1 = being made, 2 = ready.
CRITICAL_SECTION g_log_lock;
volatile LONG g_log_lock_state = 0;

CRITICAL_SECTION* log_lock()
{
    if (InterlockedCompareExchange(&g_log_lock_state, 1, 0) == 0) {
        InitializeCriticalSection(&g_log_lock);
        InterlockedExchange(&g_log_lock_state, 2);
    }
    while (InterlockedCompareExchange(&g_log_lock_state, 2, 2) != 2)
        Sleep(0);
    return &g_log_lock;
}

struct log_lock_guard {
    CRITICAL_SECTION* cs;
    log_lock_guard() : cs(log_lock()) { EnterCriticalSection(cs); }
    ~log_lock_guard() { LeaveCriticalSection(cs); }
    log_lock_guard(const log_lock_guard&) = delete;
    log_lock_guard& operator=(const log_lock_guard&) = delete;
};

bool tray_log_path(char* out)
{
    char folder[MAX_PATH] = {0};
    if (!get_program_files_dir(folder))
        return false;
    return make_tray_log_path(folder, TRAY_LOG_NAME, out);
}

// Opens the log for appending through a handle on a plain file of one name.
// Any user may delete the shared log's name and put a hard link to another
// user's file in its place: such a name is replaced by a file made aside
// (the other names keep their bytes). A log this tray makes gets rights that
// let every user's tray append to it and trim it (the folder lets a user
// change only files of their own). Others may read meanwhile, never write: a
// second tray (another session) or a reader denying writes makes the open
// fail for sharing, and a few short retries get the line in.
FILE* open_log_for_append(const char* path)
{
    file_security security;
    bool secured = build_file_security(shared_log_rights(), &security);
    const guarded_log_options options = {LOG_OWNERS_ANY, FILE_SHARE_READ,
                                         secured ? &security.descriptor : nullptr, OPEN_ATTEMPTS,
                                         OPEN_RETRY_PAUSE_MS};
    DWORD error = ERROR_SUCCESS;
    unique_handle file = open_guarded_log(path, GENERIC_READ | GENERIC_WRITE, true, options, &error);
    if (!file)
        return nullptr;
    // The log as fopen(path, "a+") gives it: appending, in text mode.
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_APPEND | _O_TEXT);
    if (descriptor == -1)
        return nullptr;
    file.release();   // the descriptor closes it now
    FILE* log = _fdopen(descriptor, "a");
    if (!log)
        _close(descriptor);
    return log;
}

} // namespace

bool make_tray_log_path(const char* folder, const char* log_name, char* out)
{
    if (FAILED(StringCchCopyA(out, PATH_CAPACITY, folder)))
        return false;
    return SUCCEEDED(StringCchCatA(out, PATH_CAPACITY, log_name));
}

bool tray_log_too_big(long long size)
{
    return size > TRIM_THRESHOLD;
}

bool tray_log_removed_at_start(long long size, unsigned long links)
{
    return links > 1 || tray_log_too_big(size);
}

bool get_program_files_dir(char* buffer)
{
    char path[MAX_PATH] = {0};
    if (!SHGetSpecialFolderPathA(nullptr, path, CSIDL_PROGRAM_FILES, FALSE))
        return false;
    return SUCCEEDED(StringCchCopyA(buffer, PATH_CAPACITY, path));
}

void write_tray_log(const char* message)
{
    char path[MAX_PATH] = {0};
    if (!tray_log_path(path))
        return;

    time_t now = time(nullptr);
    struct tm local;
    if (localtime_s(&local, &now) != 0) {
        fputs("Invalid argument to localtime_s.", stdout);
        return;
    }
    char stamp[100] = {0};
    strftime(stamp, sizeof(stamp) - 1, "%Y-%m-%d %H:%M:%S", &local);

    log_lock_guard guard;
    FILE* file = open_log_for_append(path);
    if (!file)
        return;
    fprintf(file, "%s : %s\n", stamp, message);
    fclose(file);
}

void trim_tray_log()
{
    char path[MAX_PATH] = {0};
    if (!tray_log_path(path))
        return;
    log_lock_guard guard;
    // Size and links of the file the name holds; removing the name touches no
    // other name of the file.
    unique_handle file(CreateFileA(path, GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.get(), &info))
        return;
    file.reset();
    long long size = (static_cast<long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (tray_log_removed_at_start(size, info.nNumberOfLinks))
        DeleteFileA(path);
}
