#include "guarded_files.h"

#include <string.h>

namespace {

const char* const FRESH_PREFIX = "log";

bool sid_is(PSID owner, BYTE count, DWORD first, DWORD second)
{
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    unique_sid sid;
    if (!AllocateAndInitializeSid(&nt, count, first, second, 0, 0, 0, 0, 0, 0, sid.put()))
        return false;
    return EqualSid(owner, sid.get()) != FALSE;
}

// The user of this process's token: LocalSystem for the watchdog service
// and for a deferred action that does not impersonate.
struct token_user_buffer {
    DWORD storage[64];
};

PSID this_account(token_user_buffer* buffer)
{
    unique_handle token;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !GetTokenInformation(token.get(), TokenUser, buffer->storage, sizeof buffer->storage, &size))
        return nullptr;
    return reinterpret_cast<TOKEN_USER*>(buffer->storage)->User.Sid;
}

// FILE_BASIC_INFORMATION: zero times leave the times as they are.
struct basic_information {
    LARGE_INTEGER times[4];
    ULONG attributes;
};
struct io_status {
    union {
        LONG status;
        void* pointer;
    };
    ULONG_PTR information;
};
typedef LONG(WINAPI* set_information_file_fn)(HANDLE, io_status*, void*, ULONG, int);
const int FILE_BASIC_INFORMATION_CLASS = 4;

// SetFileAttributesA works on a name, whose file may have gained another name
// since it was looked at; SetFileInformationByHandle needs Vista. ntdll has
// the call on a handle from NT 3.1 on (looked up: not on the import floor).
bool clear_read_only(HANDLE file, DWORD attributes)
{
    set_information_file_fn set_information = reinterpret_cast<set_information_file_fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetInformationFile")));
    if (!set_information) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    basic_information basic = {};
    basic.attributes = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (!basic.attributes)
        basic.attributes = FILE_ATTRIBUTE_NORMAL;
    io_status status = {};
    LONG rc = set_information(file, &status, &basic, sizeof basic, FILE_BASIC_INFORMATION_CLASS);
    if (rc < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

// The read-only attribute of a plain file of one name, cleared on the handle
// its links were counted on.
bool free_single_name_of_read_only(const char* path)
{
    unique_handle file(CreateFileA(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!file || !GetFileInformationByHandle(file.get(), &info))
        return false;
    DWORD attributes = attributes_of(file.get(), path);
    if (info.nNumberOfLinks != 1 || !is_plain_file(attributes) || !(attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    return clear_read_only(file.get(), attributes);
}

bool sharing_error(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

} // namespace

file_owner_fn read_file_owner = read_file_owner_of_object;

file_owner read_file_owner_of_object(HANDLE object)
{
    token_user_buffer account;
    PSID self = this_account(&account);
    DWORD descriptor[128];
    DWORD needed = 0;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, descriptor, sizeof descriptor, &needed) ||
        !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted))
        return OWNER_UNKNOWN;
    return classify_owner(owner, self);
}

file_owner classify_owner(PSID owner, PSID account)
{
    if (!owner)
        return OWNER_UNKNOWN;
    if (sid_is(owner, 1, SECURITY_LOCAL_SYSTEM_RID, 0))
        return OWNER_SYSTEM;
    if (sid_is(owner, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS))
        return OWNER_ADMINISTRATORS;
    if (account && EqualSid(owner, account))
        return OWNER_THIS_ACCOUNT;
    return OWNER_OTHER;
}

bool owner_is_trusted(file_owner owner)
{
    return owner == OWNER_SYSTEM || owner == OWNER_ADMINISTRATORS || owner == OWNER_THIS_ACCOUNT;
}

DWORD attributes_of(HANDLE handle, const char* path)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(handle, &info))
        return INVALID_FILE_ATTRIBUTES;
    DWORD by_name = GetFileAttributesA(path);
    if (by_name != INVALID_FILE_ATTRIBUTES)
        info.dwFileAttributes |= by_name & FILE_ATTRIBUTE_REPARSE_POINT;
    return info.dwFileAttributes;
}

bool is_plain_folder(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool is_plain_file(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

bool log_file_usable(DWORD attributes, DWORD links, file_owner owner, log_owners owners)
{
    return is_plain_file(attributes) && links == 1 && (owners == LOG_OWNERS_ANY || owner_is_trusted(owner));
}

bool folder_of(const char* path, char* folder, size_t capacity)
{
    const char* last = strrchr(path, '\\');
    if (!last || static_cast<size_t>(last - path) >= capacity)
        return false;
    memcpy(folder, path, last - path);
    folder[last - path] = '\0';
    return true;
}

DWORD replace_aside(const char* path, SECURITY_DESCRIPTOR* security, const char* copy_from)
{
    char folder[MAX_PATH] = {};
    char fresh[MAX_PATH] = {};
    if (!folder_of(path, folder, sizeof folder))
        return ERROR_BAD_PATHNAME;
    // Creates a name that did not exist; never opens one a user planted.
    if (!GetTempFileNameA(folder, FRESH_PREFIX, 0, fresh))
        return GetLastError();
    bool made = true;
    if (security) {
        unique_handle file(CreateFileA(fresh, WRITE_DAC, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        made = file && SetKernelObjectSecurity(file.get(), DACL_SECURITY_INFORMATION, security);
    }
    if (made && copy_from)
        made = CopyFileA(copy_from, fresh, FALSE) != FALSE;
    BOOL moved = made && MoveFileExA(fresh, path, MOVEFILE_REPLACE_EXISTING);
    DWORD error = GetLastError();
    if (made && !moved && error == ERROR_ACCESS_DENIED && free_single_name_of_read_only(path)) {
        moved = MoveFileExA(fresh, path, MOVEFILE_REPLACE_EXISTING);
        error = GetLastError();
    }
    if (!moved) {
        DeleteFileA(fresh);
        return error ? error : ERROR_INVALID_FUNCTION;
    }
    return ERROR_SUCCESS;
}

unique_handle open_guarded_log(const char* path, DWORD access, bool create, const guarded_log_options& options,
                               DWORD* error)
{
    SECURITY_ATTRIBUTES fresh = {sizeof fresh, options.fresh, FALSE};
    // The owner is read on this handle: READ_CONTROL only where it is read.
    const DWORD wanted = access | FILE_READ_ATTRIBUTES | (options.owners == LOG_OWNERS_ANY ? 0 : READ_CONTROL);
    const DWORD share = options.share & (FILE_SHARE_READ | FILE_SHARE_WRITE);
    for (int attempt = 1;; ++attempt) {
        bool replaced = false;
        for (;;) {
            unique_handle file(CreateFileA(path, wanted, share, options.fresh ? &fresh : nullptr,
                                           create ? OPEN_ALWAYS : OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (!file) {
                *error = GetLastError();
                break;
            }
            BY_HANDLE_FILE_INFORMATION info = {};
            if (!GetFileInformationByHandle(file.get(), &info)) {
                *error = GetLastError();
                return unique_handle();
            }
            file_owner owner = options.owners == LOG_OWNERS_ANY ? OWNER_UNKNOWN : read_file_owner(file.get());
            if (log_file_usable(attributes_of(file.get(), path), info.nNumberOfLinks, owner, options.owners))
                return file;
            file.reset();
            if (replaced) {
                *error = ERROR_INVALID_OWNER;   // even the file made aside is refused
                return unique_handle();
            }
            *error = replace_aside(path, options.fresh, nullptr);
            if (*error != ERROR_SUCCESS)
                break;
            replaced = true;
        }
        if (!sharing_error(*error) || attempt >= options.attempts)
            return unique_handle();
        Sleep(options.pause_ms);
    }
}
