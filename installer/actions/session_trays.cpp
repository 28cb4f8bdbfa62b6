#include "session_trays.h"

#include <string.h>
#include <strsafe.h>

#include "contract.h"
#include "handles.h"
#include "privilege.h"
#include "process_lookup.h"

namespace {

const size_t MAX_SESSIONS = 64;
const char* const SHELL_IMAGE_NAME = "explorer.exe";
const char* const USER_DESKTOP = "winsta0\\default";

// Looked up at run time: wtsapi32 and userenv may be missing on Windows 2000,
// WTSQueryUserToken and ProcessIdToSessionId are not on its import floor.
typedef BOOL(WINAPI* enumerate_sessions_fn)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOA*, DWORD*);
typedef void(WINAPI* free_memory_fn)(PVOID);
typedef BOOL(WINAPI* query_user_token_fn)(ULONG, PHANDLE);
typedef BOOL(WINAPI* process_session_fn)(DWORD, DWORD*);
typedef BOOL(WINAPI* create_environment_fn)(LPVOID*, HANDLE, BOOL);
typedef BOOL(WINAPI* destroy_environment_fn)(LPVOID);

struct system_calls {
    unique_module wtsapi;
    unique_module userenv;
    enumerate_sessions_fn enumerate = nullptr;
    free_memory_fn free_memory = nullptr;
    query_user_token_fn query_user_token = nullptr;
    process_session_fn process_session = nullptr;
    create_environment_fn create_environment = nullptr;
    destroy_environment_fn destroy_environment = nullptr;
};

template <typename F>
F look_up(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// By full path from the system folder, never through the search path (the
// action's current folder is not ours to trust).
HMODULE load_system_library(const char* name)
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    if (FAILED(StringCchCatA(path, MAX_PATH, "\\")) || FAILED(StringCchCatA(path, MAX_PATH, name)))
        return nullptr;
    return LoadLibraryA(path);
}

void look_up_calls(system_calls* calls)
{
    calls->wtsapi.reset(load_system_library("wtsapi32.dll"));
    calls->userenv.reset(load_system_library("userenv.dll"));
    calls->enumerate = look_up<enumerate_sessions_fn>(calls->wtsapi.get(), "WTSEnumerateSessionsA");
    calls->free_memory = look_up<free_memory_fn>(calls->wtsapi.get(), "WTSFreeMemory");
    calls->query_user_token = look_up<query_user_token_fn>(calls->wtsapi.get(), "WTSQueryUserToken");
    calls->process_session = look_up<process_session_fn>(GetModuleHandleA("kernel32.dll"), "ProcessIdToSessionId");
    calls->create_environment = look_up<create_environment_fn>(calls->userenv.get(), "CreateEnvironmentBlock");
    calls->destroy_environment = look_up<destroy_environment_fn>(calls->userenv.get(), "DestroyEnvironmentBlock");
}

struct shell_process {
    DWORD id;
    DWORD session;
};

// Every running explorer.exe with its session (0 where the session cannot
// be asked: Windows 2000 without Terminal Services has no other).
size_t find_shells(const system_calls& calls, shell_process* shells, size_t capacity)
{
    struct found_shells {
        const system_calls* calls;
        shell_process* shells;
        size_t capacity;
        size_t count;
    } found = {&calls, shells, capacity, 0};
    for_each_process_named(SHELL_IMAGE_NAME, 0, 0, [](HANDLE, DWORD id, void* context) {
        found_shells* f = static_cast<found_shells*>(context);
        DWORD session = 0;
        if (f->calls->process_session && !f->calls->process_session(id, &session))
            return true;
        f->shells[f->count].id = id;
        f->shells[f->count].session = session;
        return ++f->count < f->capacity;
    }, &found);
    return found.count;
}

// The token's user may run a tray (not a service account).
bool token_is_a_users(HANDLE token)
{
    union {
        TOKEN_USER user;
        BYTE bytes[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    } info;
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, &info, sizeof info, &size))
        return false;
    PSID sid = info.user.User.Sid;
    const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
    DWORD count = *GetSidSubAuthorityCount(sid);
    return authority && account_may_run_tray(*authority, count, count ? *GetSidSubAuthority(sid, 0) : 0);
}

// A primary token of the shell's user, from an explorer.exe of the session
// that runs as a user.
bool token_of_shell(const shell_process* shells, size_t shell_count, DWORD session, unique_handle* token)
{
    for (size_t i = 0; i < shell_count; ++i) {
        if (shells[i].session != session)
            continue;
        unique_handle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shells[i].id));
        unique_handle shell_token;
        if (!process || !OpenProcessToken(process.get(), TOKEN_DUPLICATE | TOKEN_QUERY, shell_token.put()))
            continue;
        if (DuplicateTokenEx(shell_token.get(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY,
                             nullptr, SecurityImpersonation, TokenPrimary, token->put()) &&
            token_is_a_users(token->get()))
            return true;
        token->reset();
    }
    SetLastError(ERROR_NO_TOKEN);
    return false;
}

bool user_token(const system_calls& calls, const token_source* sources, int source_count,
                const shell_process* shells, size_t shell_count, DWORD session, unique_handle* token,
                DWORD* error)
{
    for (int i = 0; i < source_count; ++i) {
        bool got = sources[i] == TOKEN_FROM_SESSION_QUERY
                       ? calls.query_user_token(session, token->put()) != FALSE
                       : token_of_shell(shells, shell_count, session, token);
        *error = GetLastError();
        if (!got)
            continue;
        if (token_is_a_users(token->get()))
            return true;
        token->reset();
        *error = ERROR_INVALID_OWNER;
    }
    return false;
}

// "winsta0\default" of the token's session, the user's own environment, the
// tray's folder as the current one, no handles inherited.
bool start_as_user(const system_calls& calls, HANDLE token, const char* tray_path, DWORD* process_id,
                   DWORD* error)
{
    char command[MAX_PATH + 16];
    char folder[MAX_PATH];
    if (FAILED(StringCchPrintfA(command, sizeof command, SERVICE_COMMAND_FORMAT, tray_path)) ||
        FAILED(StringCchCopyA(folder, sizeof folder, tray_path))) {
        *error = ERROR_BUFFER_OVERFLOW;
        return false;
    }
    *strrchr(folder, '\\') = 0;
    if (folder[2] == 0)  // "C:" -> "C:\"
        StringCchCatA(folder, sizeof folder, "\\");

    void* environment = nullptr;
    if (!calls.create_environment || !calls.create_environment(&environment, token, FALSE)) {
        *error = calls.create_environment ? GetLastError() : ERROR_PROC_NOT_FOUND;
        return false;
    }
    scope_exit free_environment([&] {
        if (calls.destroy_environment)
            calls.destroy_environment(environment);
    });

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<char*>(USER_DESKTOP);
    PROCESS_INFORMATION started = {};
    // Out of the installer's job where it has one that allows it, so the tray
    // outlives the installation; a job that refuses gives access denied.
    DWORD flags = CREATE_UNICODE_ENVIRONMENT | CREATE_BREAKAWAY_FROM_JOB;
    BOOL ok = CreateProcessAsUserA(token, tray_path, command, nullptr, nullptr, FALSE, flags, environment,
                                   folder, &startup, &started);
    *error = GetLastError();
    if (!ok && *error == ERROR_ACCESS_DENIED) {
        ok = CreateProcessAsUserA(token, tray_path, command, nullptr, nullptr, FALSE,
                                  flags & ~CREATE_BREAKAWAY_FROM_JOB, environment, folder, &startup, &started);
        *error = GetLastError();
    }
    if (!ok)
        return false;
    unique_handle thread(started.hThread);
    unique_handle process(started.hProcess);
    *process_id = started.dwProcessId;
    return true;
}

} // namespace

size_t choose_tray_sessions(const session_facts& facts, DWORD* chosen, size_t capacity)
{
    bool use_listing = facts.listed && facts.session_count > 0;
    size_t candidates = use_listing ? facts.session_count : facts.shell_count;
    size_t count = 0;
    for (size_t i = 0; i < candidates && count < capacity; ++i) {
        DWORD id = use_listing ? facts.sessions[i].id : facts.shell_sessions[i];
        if (use_listing && facts.sessions[i].state != WTSActive && facts.sessions[i].state != WTSDisconnected)
            continue;
        if (id == 0 && facts.windows_major >= 6)
            continue;
        bool seen = false;
        for (size_t j = 0; j < count; ++j)
            seen = seen || chosen[j] == id;
        if (!seen)
            chosen[count++] = id;
    }
    return count;
}

int choose_token_sources(DWORD windows_major, DWORD windows_minor, bool query_available,
                         token_source sources[2])
{
    int count = 0;
    bool xp_or_later = windows_major > 5 || (windows_major == 5 && windows_minor >= 1);
    if (xp_or_later && query_available)
        sources[count++] = TOKEN_FROM_SESSION_QUERY;
    sources[count++] = TOKEN_FROM_SHELL;
    return count;
}

bool account_may_run_tray(const SID_IDENTIFIER_AUTHORITY& authority, DWORD sub_count, DWORD first_sub)
{
    static const SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (sub_count == 0)
        return false;
    bool is_nt = memcmp(&authority, &nt, sizeof nt) == 0;
    bool service_account = is_nt && sub_count == 1 &&
                           (first_sub == SECURITY_LOCAL_SYSTEM_RID || first_sub == SECURITY_LOCAL_SERVICE_RID ||
                            first_sub == SECURITY_NETWORK_SERVICE_RID);
    return !service_account;
}

bool is_full_tray_path(const char* path)
{
    if (!path || !((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) ||
        path[1] != ':' || path[2] != '\\')
        return false;
    const char* base = strrchr(path, '\\') + 1;
    return image_names_equal(base, TRAY_IMAGE_NAME) && strlen(path) < MAX_PATH;
}

int start_trays_in_sessions(const char* tray_path, setup_report report, void* context)
{
    if (!is_full_tray_path(tray_path)) {
        say(report, context, "no tray started: \"%s\" is not the tray's full path", tray_path ? tray_path : "");
        return 0;
    }
    system_calls calls;
    look_up_calls(&calls);
    // LocalSystem holds these; WTSQueryUserToken needs the first enabled,
    // CreateProcessAsUser the other two with a token it did not make.
    unique_handle own;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, own.put())) {
        const char* const privileges[] = {SE_TCB_NAME, SE_ASSIGNPRIMARYTOKEN_NAME, SE_INCREASE_QUOTA_NAME};
        for (const char* privilege : privileges)
            enable_token_privilege(own.get(), privilege);
    }

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);

    listed_session listed[MAX_SESSIONS];
    session_facts facts = {};
    facts.windows_major = version.dwMajorVersion;
    PWTS_SESSION_INFOA info = nullptr;
    DWORD info_count = 0;
    if (calls.enumerate && calls.enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &info, &info_count)) {
        facts.listed = true;
        for (DWORD i = 0; i < info_count && facts.session_count < MAX_SESSIONS; ++i)
            listed[facts.session_count++] = {info[i].SessionId, info[i].State};
        if (calls.free_memory)
            calls.free_memory(info);
    }
    facts.sessions = listed;
    shell_process shells[MAX_SESSIONS];
    DWORD shell_sessions[MAX_SESSIONS];
    size_t shell_count = find_shells(calls, shells, MAX_SESSIONS);
    for (size_t i = 0; i < shell_count; ++i)
        shell_sessions[i] = shells[i].session;
    facts.shell_sessions = shell_sessions;
    facts.shell_count = shell_count;

    DWORD chosen[MAX_SESSIONS];
    size_t chosen_count = choose_tray_sessions(facts, chosen, MAX_SESSIONS);
    token_source sources[2];
    int source_count = choose_token_sources(version.dwMajorVersion, version.dwMinorVersion,
                                            calls.query_user_token != nullptr, sources);
    int started = 0;
    for (size_t i = 0; i < chosen_count; ++i) {
        unique_handle token;
        DWORD error = 0, process_id = 0;
        if (!user_token(calls, sources, source_count, shells, shell_count, chosen[i], &token, &error)) {
            say(report, context, "no tray started in session %lu: no user token (error %lu)", chosen[i], error);
            continue;
        }
        if (!start_as_user(calls, token.get(), tray_path, &process_id, &error)) {
            say(report, context, "cannot start %s in session %lu (error %lu)", tray_path, chosen[i], error);
            continue;
        }
        say(report, context, "started %s in session %lu (process %lu)", tray_path, chosen[i], process_id);
        ++started;
    }
    if (chosen_count == 0)
        say(report, context, "no interactive session: no tray started");
    return started;
}
