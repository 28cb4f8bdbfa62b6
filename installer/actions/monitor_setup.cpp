#include "monitor_setup.h"

#include <string.h>
#include <strsafe.h>

#include "contract.h"
#include "file_rights.h"
#include "handles.h"

namespace {

// The watchdog's log and its backup: made here, as the installer's account,
// so that no user can take either name first.
const char* const DAEMON_LOG_NAMES[] = {DAEMON_LOG_NAME, DAEMON_BACKUP_NAME};

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

found_log inspect_log(const char* path)
{
    found_log found = {false, INVALID_FILE_ATTRIBUTES, 0, OWNER_UNKNOWN};
    unique_handle file(CreateFileA(path, READ_CONTROL | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                   nullptr));
    DWORD error = GetLastError();
    found.exists = file || error != ERROR_FILE_NOT_FOUND;
    if (!file)
        return found;  // unknown owner, no links: replaced
    BY_HANDLE_FILE_INFORMATION info = {};
    if (GetFileInformationByHandle(file.get(), &info))
        found.links = info.nNumberOfLinks;
    found.attributes = attributes_of(file.get(), path);
    found.owner = read_file_owner(file.get());
    return found;
}

// An empty log made aside and renamed over the name: the name is never
// free for a user to take, and a link's other names keep their bytes.
void replace_with_empty_log(const char* path, const found_log& found, setup_report report, void* context)
{
    DWORD error = replace_aside(path, nullptr, nullptr);
    if (error != ERROR_SUCCESS) {
        say(report, context, "cannot replace %s (%lu)", path, error);
        return;
    }
    say(report, context, "replaced %s by an empty log (links: %lu, owner: %s)", path, found.links,
        found.owner == OWNER_OTHER ? "another account" : found.owner == OWNER_UNKNOWN ? "unreadable" : "trusted");
}

void prepare_daemon_log(const char* folder, const char* name, bool check_found, setup_report report,
                        void* context)
{
    char path[MAX_PATH];
    if (!file_in_folder(folder, name, path))
        return;
    // A link already there is an existing name, never followed to make its target.
    unique_handle file(CreateFileA(path, FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD error = GetLastError();
    if (file) {
        say(report, context, "created %s", path);
        return;
    }
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
        say(report, context, "cannot create %s (%lu)", path, error);
        return;
    }
    if (!check_found)
        return;
    found_log found = inspect_log(path);
    if (daemon_log_step_for(found) == DAEMON_LOG_REPLACE)
        replace_with_empty_log(path, found, report, context);
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

daemon_log_step daemon_log_step_for(const found_log& found)
{
    if (!found.exists)
        return DAEMON_LOG_CREATE;
    return log_file_usable(found.attributes, found.links, found.owner, LOG_OWNERS_TRUSTED) ? DAEMON_LOG_KEEP
                                                                                          : DAEMON_LOG_REPLACE;
}

DWORD secure_monitor_folder(const char* given, setup_report report, void* context)
{
    // Windows Installer gives folders with a trailing backslash.
    char folder[MAX_PATH] = {};
    if (FAILED(StringCchCopyA(folder, MAX_PATH, given)))
        return ERROR_BUFFER_OVERFLOW;
    size_t length = strlen(folder);
    if (length > 3 && folder[length - 1] == '\\')
        folder[length - 1] = 0;
    // The folder itself, not what a junction in its place leads to; its
    // rights are set on this very handle.
    unique_handle handle(CreateFileA(folder, READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                     nullptr));
    DWORD error = GetLastError();
    if (!handle) {
        say(report, context, "cannot open %s (%lu)", folder, error);
        return error ? error : ERROR_INVALID_FUNCTION;
    }
    if (!is_plain_folder(attributes_of(handle.get(), folder))) {
        say(report, context, "refused %s: not a plain folder (a junction or another reparse point, or a file)",
            folder);
        return ERROR_DIRECTORY;
    }
    if (!volume_keeps_rights(folder)) {
        // Without rights on the volume, owners and links protect nothing.
        say(report, context, "the volume of %s keeps no file rights", folder);
        for (const char* name : DAEMON_LOG_NAMES)
            prepare_daemon_log(folder, name, false, report, context);
        return ERROR_SUCCESS;
    }
    file_security security;
    // Set on the folder alone: SetNamedSecurityInfoA would also rewrite the
    // rights of everything in it, links included.
    if (!build_file_security(monitor_folder_rights(), &security) ||
        !SetKernelObjectSecurity(handle.get(), DACL_SECURITY_INFORMATION, &security.descriptor)) {
        error = GetLastError();
        say(report, context, "cannot set the rights of %s (%lu)", folder, error);
        return error ? error : ERROR_INVALID_FUNCTION;
    }
    say(report, context, "rights set on %s", folder);
    for (const char* name : DAEMON_LOG_NAMES)
        prepare_daemon_log(folder, name, true, report, context);
    share_tray_log(folder, report, context);
    return ERROR_SUCCESS;
}
