#include "daemon_log.h"

#include "contract.h"
#include "handles.h"
#include "program_files_guard.h"
#include "system_places.h"

#include <windows.h>
#include <strsafe.h>

#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

namespace {

const size_t PATH_CAPACITY = 260;
const size_t MESSAGE_CAPACITY = 512;
const DWORD ROTATION_THRESHOLD = 3145728;   // 3 MiB
const size_t RECORD_CAPACITY = 640;
const size_t HELD_CAPACITY = 16384;
const int OPEN_ATTEMPTS = 5;
const DWORD OPEN_PAUSE_MS = 20;

// Records that found the log held by a reader that shares no writing; they
// go in ahead of the next record that gets through. Only one thread of the
// program writes at a time, so no lock.
char g_held[HELD_CAPACITY];

unique_handle open_counting_links(const char* path, DWORD access, DWORD disposition,
                                  BY_HANDLE_FILE_INFORMATION* info, DWORD* error)
{
    unique_handle file(CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        *error = GetLastError();
    } else if (!GetFileInformationByHandle(file.get(), info)) {
        *error = GetLastError();
        file.reset();
    }
    return file;
}

// Opens a log file sharing reading and writing with others, as the C
// runtime's fopen does, as a file with a single link. Users may create files
// in the folder, and anyone who can read the log may give it a second name
// in a folder of their own on the same volume (before Windows 10 that asks
// no write access): a name found with more links is removed, the other
// names keeping the old bytes, and made afresh, so this program (LocalSystem)
// writes and empties only a file of its own. The links are counted on the
// handle that is used afterwards, so nothing can be swapped in between.
unique_handle open_single_link(const char* path, DWORD access, DWORD disposition,
                               BY_HANDLE_FILE_INFORMATION* info, DWORD* error)
{
    unique_handle file = open_counting_links(path, access, disposition, info, error);
    if (!file || info->nNumberOfLinks == 1)
        return file;
    file.reset();
    if (!DeleteFileA(path)) {
        *error = GetLastError();
        return file;
    }
    file = open_counting_links(path, access, CREATE_NEW, info, error);
    if (file && info->nNumberOfLinks != 1) {
        *error = ERROR_TOO_MANY_LINKS;
        file.reset();
    }
    return file;
}

// Removes the backup's name. Someone may have made it read-only, which stops
// DeleteFileA: a backup with a single link is this program's own and is made
// writable first; the attribute of a file with more names belongs to every
// name and is left alone. Sharing no deletion, the handle keeps the name on
// the file looked at while its attribute changes.
void remove_backup(const char* path)
{
    unique_handle backup(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (backup && GetFileInformationByHandle(backup.get(), &info) &&
        backup_needs_write_access(info.dwFileAttributes, info.nNumberOfLinks)) {
        DWORD attributes = info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY;
        SetFileAttributesA(path, attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    }
    backup.reset();
    DeleteFileA(path);
}

// The Program Files folder under which the log lies is a literal one; where
// it is not the system's own, any user may have made the monitor folder, and
// then only one owned by SYSTEM or Administrators takes the log. Held,
// sharing no deletion, while the log is written in it.
bool admit_monitor_folder(const char* program_files, unique_handle* held)
{
    if (literal_is_system_folder(program_files))
        return true;
    char folder[PATH_CAPACITY] = {};
    if (FAILED(StringCchPrintfA(folder, PATH_CAPACITY, "%s%s", program_files, MONITOR_FOLDER_NAME)))
        return false;
    held->reset(CreateFileA(folder, FILE_LIST_DIRECTORY | READ_CONTROL,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return *held && monitor_may_take_log(false, read_owner(held->get(), GUARDED_MONITOR_FOLDER));
}

// The log as fopen(path, "a") gives it: appending, in text mode.
FILE* open_log_stream(const char* path, DWORD* error)
{
    BY_HANDLE_FILE_INFORMATION info;
    unique_handle file = open_single_link(path, GENERIC_WRITE, OPEN_ALWAYS, &info, error);
    if (!file)
        return nullptr;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_APPEND | _O_TEXT);
    if (descriptor == -1) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    file.release();   // the descriptor closes it now
    FILE* log = _fdopen(descriptor, "a");
    if (!log) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        _close(descriptor);
    }
    return log;
}

// Opens the log for appending, waiting a little while a reader holds it.
FILE* open_for_append(const char* path, DWORD* error)
{
    for (int attempt = 1;; ++attempt) {
        FILE* log = open_log_stream(path, error);
        if (log || !log_open_error_is_sharing(*error) || attempt == OPEN_ATTEMPTS)
            return log;
        Sleep(OPEN_PAUSE_MS);
    }
}

} // namespace

bool backup_needs_write_access(DWORD attributes, DWORD links)
{
    return links == 1 && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool log_open_error_is_sharing(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool hold_record(char* held, size_t capacity, const char* record)
{
    size_t used = strlen(held);
    if (used + strlen(record) >= capacity)
        return false;
    StringCchCatA(held, capacity, record);
    return true;
}

void select_program_files_folder(char* buffer)
{
    StringCchCopyA(buffer, PATH_CAPACITY, program_files_folder_for(look_up_wow64()));
}

void append_daemon_log_name(char* buffer)
{
    StringCchCatA(buffer, PATH_CAPACITY, DAEMON_LOG_NAME);
}

void write_daemon_log(const char* format, ...)
{
    char path[PATH_CAPACITY] = {};
    char message[MESSAGE_CAPACITY] = {};
    va_list args;
    va_start(args, format);
    StringCchVPrintfA(message, MESSAGE_CAPACITY, format, args);
    va_end(args);

    time_t now = time(nullptr);
    struct tm* local = localtime(&now);
    if (!local)
        return;
    char stamp[100] = {};
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", local);

    select_program_files_folder(path);
    unique_handle folder;
    if (!admit_monitor_folder(path, &folder))
        return;   // as if the folder were missing
    append_daemon_log_name(path);

    char record[RECORD_CAPACITY] = {};
    StringCchPrintfA(record, RECORD_CAPACITY, "%s : [VM-Daemon] %s\r\n", stamp, message);
    DWORD error = ERROR_SUCCESS;
    FILE* log = open_for_append(path, &error);
    if (!log) {
        // A missing folder or a log with more links drops the record; a
        // reader in the way only delays it.
        if (log_open_error_is_sharing(error))
            hold_record(g_held, HELD_CAPACITY, record);
        return;
    }
    // Text mode on purpose: every "\n" is stored as CR LF, so a record ends CR CR LF.
    fputs(g_held, log);
    g_held[0] = '\0';
    fputs(record, log);
    fclose(log);
}

void check_log_space()
{
    char folder[PATH_CAPACITY] = {};
    char log_path[PATH_CAPACITY] = {};
    char backup_path[PATH_CAPACITY] = {};
    select_program_files_folder(folder);
    unique_handle held_folder;
    if (!admit_monitor_folder(folder, &held_folder))
        return;
    StringCchPrintfA(log_path, PATH_CAPACITY - 1, "%s%s", folder, DAEMON_LOG_NAME);
    StringCchPrintfA(backup_path, PATH_CAPACITY - 1, "%s%s", folder, DAEMON_BACKUP_NAME);

    // Held until the rotation is over, sharing no deletion: the name keeps
    // naming the file whose links and size were looked at.
    BY_HANDLE_FILE_INFORMATION info;
    DWORD error = ERROR_SUCCESS;
    unique_handle log = open_single_link(log_path, GENERIC_READ, OPEN_EXISTING, &info, &error);
    if (!log) {
        write_daemon_log("open %s failed!\n", log_path);
        return;
    }
    if (info.nFileSizeHigh == 0 && info.nFileSizeLow <= ROTATION_THRESHOLD)
        return;

    // Whatever holds the backup's name goes (a link, only the name), and the
    // copy replaces nothing: a file slipped in meanwhile makes it fail.
    remove_backup(backup_path);
    if (!CopyFileA(log_path, backup_path, TRUE)) {
        write_daemon_log("%s\n", "CopyFile failed.");
        return;
    }
    unique_handle emptied = open_single_link(log_path, GENERIC_WRITE, OPEN_EXISTING, &info, &error);
    if (!emptied || !SetEndOfFile(emptied.get())) {
        write_daemon_log("%s\n", "fopen chPathAgent_daemon failed.");
        return;
    }
    emptied.reset();
    log.reset();
    write_daemon_log("%s\n", "check_log_space success.");
}
