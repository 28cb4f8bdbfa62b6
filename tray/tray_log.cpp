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

bool tray_log_path(const char* log_name, char* out)
{
    char folder[MAX_PATH] = {0};
    if (!get_program_files_dir(folder))
        return false;
    return make_tray_log_path(folder, log_name, out);
}

// The log is shared by the trays of every user, and the folder lets a user
// change only files of their own: a log this tray makes gets rights that let
// every user append to it and trim it.
void create_shared_log(const char* path)
{
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        return;
    file_security security;
    if (!build_file_security(shared_log_rights(), &security))
        return;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &security.descriptor, FALSE};
    unique_handle file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &attributes,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Opens the log for appending, as a file with a single link. Any user may
// delete the shared log's name and put a hard link to another user's file in
// its place: a name found with more links is removed (the other names keep
// their bytes) and made afresh. The links are counted on the handle the line
// is written through. Others may read meanwhile, never write.
unique_handle open_single_link(const char* path, DWORD* error)
{
    for (int round = 0; round < 2; ++round) {
        create_shared_log(path);
        unique_handle file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!file || !GetFileInformationByHandle(file.get(), &info)) {
            *error = GetLastError();
            return unique_handle();
        }
        if (info.nNumberOfLinks == 1)
            return file;
        file.reset();
        if (!DeleteFileA(path)) {
            *error = GetLastError();
            return file;
        }
    }
    *error = ERROR_TOO_MANY_LINKS;
    return unique_handle();
}

// The log as fopen(path, "a+") gives it: appending, in text mode.
FILE* open_log_stream(const char* path, DWORD* error)
{
    unique_handle file = open_single_link(path, error);
    if (!file)
        return nullptr;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_APPEND | _O_TEXT);
    if (descriptor == -1)
        return nullptr;
    file.release();   // the descriptor closes it now
    FILE* log = _fdopen(descriptor, "a");
    if (!log)
        _close(descriptor);
    return log;
}

// A second tray program (another session) or a reader denying writes makes
// the open fail for sharing: a few short retries get the line in.
FILE* open_log_for_append(const char* path)
{
    for (int attempt = 1;; ++attempt) {
        DWORD error = ERROR_SUCCESS;
        FILE* file = open_log_stream(path, &error);
        if (file)
            return file;
        bool sharing = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        if (!sharing || attempt == OPEN_ATTEMPTS)
            return nullptr;
        Sleep(OPEN_RETRY_PAUSE_MS);
    }
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

void write_tray_log(const char* log_name, const char* message)
{
    char path[MAX_PATH] = {0};
    if (!tray_log_path(log_name, path))
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
    if (!tray_log_path(TRAY_LOG_NAME, path))
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
