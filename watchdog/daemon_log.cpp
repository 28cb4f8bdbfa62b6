#include "daemon_log.h"

#include "contract.h"
#include "guarded_files.h"
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

// The log is written only through a handle on a plain file of one name that
// SYSTEM or Administrators own. Users may create files in the folder, and
// anyone who can read the log may give it a second name in a folder of their
// own on the same volume (before Windows 10 that asks no write access): such
// a file is replaced by one made aside and renamed over the name, whose
// other names keep the old bytes, so this program (LocalSystem) writes and
// empties only a file of its own and never leaves the name free for a user
// to take. Shared with readers and with a second watchdog, never deletion.
const guarded_log_options LOG_FILE = {LOG_OWNERS_TRUSTED, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ATTEMPTS, OPEN_PAUSE_MS};

// The log lies under a literal Program Files folder. Where that is not the
// system's own, any user may have made it, and a folder of theirs above the
// log could be re-pointed (a junction) between any two opens: no log there.
// In the system's folder only administrators make folders; the monitor
// folder itself is taken only as a plain folder, not followed as a junction,
// and held, sharing no deletion, while the log is written in it.
bool admit_monitor_folder(const char* program_files, unique_handle* held)
{
    if (!literal_is_system_folder(program_files))
        return false;
    char folder[PATH_CAPACITY] = {};
    if (FAILED(StringCchPrintfA(folder, PATH_CAPACITY, "%s%s", program_files, MONITOR_FOLDER_NAME)))
        return false;
    held->reset(CreateFileA(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return *held && is_plain_folder(attributes_of(held->get(), folder));
}

// The log as fopen(path, "a") gives it: appending, in text mode.
FILE* open_log_stream(const char* path, DWORD* error)
{
    unique_handle file = open_guarded_log(path, GENERIC_WRITE, true, LOG_FILE, error);
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

} // namespace

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
    FILE* log = open_log_stream(path, &error);
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
    // naming the file whose links, owner and size were looked at.
    DWORD error = ERROR_SUCCESS;
    unique_handle log = open_guarded_log(log_path, GENERIC_READ, false, LOG_FILE, &error);
    BY_HANDLE_FILE_INFORMATION info;
    if (!log || !GetFileInformationByHandle(log.get(), &info)) {
        write_daemon_log("open %s failed!\n", log_path);
        return;
    }
    if (info.nFileSizeHigh == 0 && info.nFileSizeLow <= ROTATION_THRESHOLD)
        return;

    // The copy is made aside and renamed over the backup's name (made by the
    // package at install): that name is never free either, and a link put
    // there loses only the name.
    if (replace_aside(backup_path, nullptr, log_path) != ERROR_SUCCESS) {
        write_daemon_log("%s\n", "CopyFile failed.");
        return;
    }
    unique_handle emptied = open_guarded_log(log_path, GENERIC_WRITE, false, LOG_FILE, &error);
    if (!emptied || !SetEndOfFile(emptied.get())) {
        write_daemon_log("%s\n", "fopen chPathAgent_daemon failed.");
        return;
    }
    emptied.reset();
    log.reset();
    write_daemon_log("%s\n", "check_log_space success.");
}
