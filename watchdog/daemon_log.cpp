#include "daemon_log.h"

#include "contract.h"
#include "wow64.h"

#include <windows.h>
#include <strsafe.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

namespace {

const size_t PATH_CAPACITY = 260;
const size_t MESSAGE_CAPACITY = 512;
const long ROTATION_THRESHOLD = 3145728;   // 3 MiB
const size_t RECORD_CAPACITY = 640;
const size_t HELD_CAPACITY = 16384;
const int OPEN_ATTEMPTS = 5;
const DWORD OPEN_PAUSE_MS = 20;

// Records that found the log held by a reader that shares no writing; they
// go in ahead of the next record that gets through. Only one thread of the
// program writes at a time, so no lock.
char g_held[HELD_CAPACITY];

// Opens the log for appending, waiting a little while a reader holds it.
FILE* open_for_append(const char* path, DWORD* error)
{
    for (int attempt = 1;; ++attempt) {
        FILE* log = fopen(path, "a");
        *error = log ? ERROR_SUCCESS : GetLastError();
        if (log || !log_open_error_is_sharing(*error) || attempt == OPEN_ATTEMPTS)
            return log;
        Sleep(OPEN_PAUSE_MS);
    }
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
    append_daemon_log_name(path);

    char record[RECORD_CAPACITY] = {};
    StringCchPrintfA(record, RECORD_CAPACITY, "%s : [VM-Daemon] %s\r\n", stamp, message);
    DWORD error = ERROR_SUCCESS;
    FILE* log = open_for_append(path, &error);
    if (!log) {
        // A missing folder drops the record; a reader in the way only delays it.
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
    StringCchPrintfA(log_path, PATH_CAPACITY - 1, "%s%s", folder, DAEMON_LOG_NAME);
    StringCchPrintfA(backup_path, PATH_CAPACITY - 1, "%s%s", folder, DAEMON_BACKUP_NAME);

    FILE* probe = fopen(log_path, "r");
    if (probe)
        fclose(probe);
    else
        write_daemon_log("open %s failed!\n", log_path);

    struct _stat status = {};
    if (_stat(log_path, &status) != 0)
        return;
    if (status.st_size <= ROTATION_THRESHOLD)
        return;

    if (!CopyFileA(log_path, backup_path, FALSE)) {
        write_daemon_log("%s\n", "CopyFile failed.");
        return;
    }
    FILE* emptied = fopen(log_path, "w");
    if (!emptied) {
        write_daemon_log("%s\n", "fopen chPathAgent_daemon failed.");
        return;
    }
    fclose(emptied);
    write_daemon_log("%s\n", "check_log_space success.");
}
