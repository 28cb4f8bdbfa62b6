#include "monitor_setup.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <strsafe.h>

#include "contract.h"
#include "file_rights.h"
#include "handles.h"
#include "process_lookup.h"

namespace {

const int MAX_TRAYS = 64;
const DWORD TRAY_END_WAIT_MS = 5000;

__attribute__((format(printf, 3, 4)))
void say(setup_report report, void* context, const char* format, ...)
{
    char text[512] = {};
    va_list args;
    va_start(args, format);
    StringCchVPrintfA(text, sizeof text, format, args);
    va_end(args);
    report(context, text);
}

// "C:\Program Files\virtio\monitor" + "\virtio\monitor\x.log" -> "...\monitor\x.log"
bool file_in_folder(const char* folder, const char* contract_name, char* path)
{
    const char* base = strrchr(contract_name, '\\');
    base = base ? base + 1 : contract_name;
    size_t length = strlen(folder);
    const char* separator = (length && folder[length - 1] == '\\') ? "" : "\\";
    return SUCCEEDED(StringCchPrintfA(path, MAX_PATH, "%s%s%s", folder, separator, base));
}

bool volume_keeps_rights(const char* folder)
{
    if (!folder[0] || folder[1] != ':')
        return true;
    char root[4] = {folder[0], ':', '\\', 0};
    DWORD flags = 0;
    if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
        return true;
    return (flags & FS_PERSISTENT_ACLS) != 0;
}

void create_daemon_log(const char* folder, setup_report report, void* context)
{
    char path[MAX_PATH];
    if (!file_in_folder(folder, DAEMON_LOG_NAME, path))
        return;
    unique_handle file(CreateFileA(path, FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD error = GetLastError();
    if (file)
        say(report, context, "created %s", path);
    else if (error != ERROR_FILE_EXISTS)
        say(report, context, "cannot create %s (%lu)", path, error);
}

void share_tray_log(const char* folder, setup_report report, void* context)
{
    char path[MAX_PATH];
    if (!file_in_folder(folder, TRAY_LOG_NAME, path))
        return;
    // Opened without following a reparse point; the rights are set through
    // this handle, on the very file that was looked at.
    unique_handle file(CreateFileA(path, READ_CONTROL | WRITE_DAC,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD error = GetLastError();
    if (!file) {
        if (error != ERROR_FILE_NOT_FOUND)
            say(report, context, "cannot open %s (%lu)", path, error);
        return;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file.get(), &info)) {
        error = GetLastError();
        say(report, context, "cannot inspect %s (%lu)", path, error);
        return;
    }
    const DWORD odd = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((info.dwFileAttributes & odd) || info.nNumberOfLinks != 1) {
        say(report, context, "%s is not a plain file: its rights are left as they are", path);
        return;
    }
    file_security security;
    if (!build_file_security(shared_log_rights(), &security) ||
        !SetKernelObjectSecurity(file.get(), DACL_SECURITY_INFORMATION, &security.descriptor)) {
        error = GetLastError();
        say(report, context, "cannot set the rights of %s (%lu)", path, error);
        return;
    }
    say(report, context, "every user may append to %s", path);
}

} // namespace

DWORD secure_monitor_folder(const char* given, setup_report report, void* context)
{
    // Windows Installer gives folders with a trailing backslash.
    char folder[MAX_PATH] = {};
    if (FAILED(StringCchCopyA(folder, MAX_PATH, given)))
        return ERROR_BUFFER_OVERFLOW;
    size_t length = strlen(folder);
    if (length > 3 && folder[length - 1] == '\\')
        folder[length - 1] = 0;
    if (!volume_keeps_rights(folder)) {
        say(report, context, "the volume of %s keeps no file rights", folder);
        create_daemon_log(folder, report, context);
        return ERROR_SUCCESS;
    }
    file_security security;
    // SetFileSecurityA, not SetNamedSecurityInfoA: the latter would also
    // rewrite the rights of everything in the folder, links included.
    if (!build_file_security(monitor_folder_rights(), &security) ||
        !SetFileSecurityA(folder, DACL_SECURITY_INFORMATION, &security.descriptor)) {
        DWORD error = GetLastError();
        say(report, context, "cannot set the rights of %s (%lu)", folder, error);
        return error ? error : ERROR_INVALID_FUNCTION;
    }
    say(report, context, "rights set on %s", folder);
    create_daemon_log(folder, report, context);
    share_tray_log(folder, report, context);
    return ERROR_SUCCESS;
}

int end_running_trays(setup_report report, void* context)
{
    int ended = 0;
    for (int round = 0; round < MAX_TRAYS; ++round) {
        DWORD id = find_process_by_name(TRAY_IMAGE_NAME);
        if (id == 0)
            break;
        unique_handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (!process || !TerminateProcess(process.get(), 1)) {
            DWORD error = GetLastError();
            say(report, context, "cannot end " TRAY_IMAGE_NAME " (process %lu, error %lu)", id, error);
            break;
        }
        WaitForSingleObject(process.get(), TRAY_END_WAIT_MS);
        say(report, context, "ended " TRAY_IMAGE_NAME " (process %lu)", id);
        ++ended;
    }
    return ended;
}
