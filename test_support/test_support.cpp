#include "test_support.h"

#include <psapi.h>
#include <shellapi.h>

#include <stdlib.h>
#include <string.h>

namespace ts {

std::string bin_dir()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = strrchr(path, '\\');
    if (slash)
        slash[1] = '\0';
    return path;
}

std::string sibling(const char* file_name)
{
    return bin_dir() + file_name;
}

bool file_exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string read_file(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

bool write_file(const std::string& path, const std::string& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    bool ok = bytes.empty() || (WriteFile(h, bytes.data(), (DWORD)bytes.size(), &put, nullptr) &&
                                put == bytes.size());
    CloseHandle(h);
    return ok;
}

void remove_file(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

void make_dirs(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    }
}

void remove_tree(const std::string& path)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, ".."))
                continue;
            std::string child = path + "\\" + fd.cFileName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(child);
            else
                remove_file(child);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(path.c_str());
    remove_file(path);
}

bool reg_set_raw(HKEY root, const char* path, const char* name, DWORD type, const void* data,
                 DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool reg_set_sz(HKEY root, const char* path, const char* name, const std::string& text,
                bool with_nul)
{
    return reg_set_raw(root, path, name, REG_SZ, text.c_str(),
                       (DWORD)text.size() + (with_nul ? 1 : 0));
}

bool reg_set_dword(HKEY root, const char* path, const char* name, DWORD value)
{
    return reg_set_raw(root, path, name, REG_DWORD, &value, sizeof value);
}

void reg_delete_value(HKEY root, const char* path, const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

void reg_delete_tree(HKEY root, const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    char child[256];
    for (;;) {
        DWORD len = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &len, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        reg_delete_tree(key, child);
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, path);
}

bool reg_get(HKEY root, const char* path, const char* name, std::string* bytes, DWORD* type)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD t = 0, size = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &t, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        bytes->assign(size, '\0');
        rc = RegQueryValueExA(key, name, nullptr, &t,
                              size ? reinterpret_cast<BYTE*>(&(*bytes)[0]) : nullptr, &size);
        bytes->resize(size);
    }
    RegCloseKey(key);
    if (type)
        *type = t;
    return rc == ERROR_SUCCESS;
}

std::string old_windows()
{
    char text[16] = {};
    DWORD length = GetEnvironmentVariableA("GT_WINDOWS", text, sizeof text);
    return length && length < sizeof text ? text : "";
}

void set_manufacturer(const std::string& text)
{
    char firmware[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("GT_FIRMWARE_DIR", firmware, sizeof firmware);
    if (old_windows().empty() || !length || length >= sizeof firmware) {
        // HARDWARE is volatile: a key taken away comes back only as a volatile one.
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\BIOS", 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS)
            RegCloseKey(key);
        reg_set_sz(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\BIOS", "SystemManufacturer",
                   text);
        return;
    }
    // Wine's drive Z: is the host's root.
    std::string file = std::string("Z:") + firmware + "/sys_vendor";
    for (char& c : file)
        c = c == '/' ? '\\' : c;
    write_file(file, text + "\n");
    reg_delete_tree(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\BIOS");
}

namespace {

// A copy of the current environment block with extra variables in front.
std::vector<char> environment_with(const std::vector<std::string>& extra)
{
    std::vector<char> block;
    for (const std::string& e : extra) {
        block.insert(block.end(), e.begin(), e.end());
        block.push_back('\0');
    }
    char* env = GetEnvironmentStringsA();
    for (const char* p = env; *p; p += strlen(p) + 1) {
        bool overridden = false;
        for (const std::string& e : extra) {
            size_t eq = e.find('=');
            if (eq != std::string::npos && _strnicmp(p, e.c_str(), eq + 1) == 0)
                overridden = true;
        }
        if (!overridden)
            block.insert(block.end(), p, p + strlen(p) + 1);
    }
    FreeEnvironmentStringsA(env);
    block.push_back('\0');
    return block;
}

} // namespace

HANDLE start(const std::string& command_line, const std::vector<std::string>& extra_env)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi = {};
    std::vector<char> cmd(command_line.begin(), command_line.end());
    cmd.push_back('\0');
    std::vector<char> env;
    if (!extra_env.empty())
        env = environment_with(extra_env);
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0,
                        env.empty() ? nullptr : env.data(), nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

run_result run(const std::string& command_line, DWORD timeout_ms,
               const std::vector<std::string>& extra_env)
{
    run_result r = {false, false, 0};
    HANDLE process = start(command_line, extra_env);
    if (!process)
        return r;
    r.started = true;
    if (WaitForSingleObject(process, timeout_ms) == WAIT_OBJECT_0) {
        r.finished = true;
        GetExitCodeProcess(process, &r.exit_code);
    } else {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
    return r;
}

std::vector<DWORD> processes_named(const char* image_name)
{
    std::vector<DWORD> found;
    DWORD ids[4096];
    DWORD bytes = 0;
    if (!EnumProcesses(ids, sizeof ids, &bytes))
        return found;
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
        HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
        if (!p)
            continue;
        HMODULE module = nullptr;
        DWORD needed = 0;
        char name[MAX_PATH] = {};
        if (EnumProcessModules(p, &module, sizeof module, &needed) &&
            GetModuleBaseNameA(p, module, name, sizeof name) && _stricmp(name, image_name) == 0)
            found.push_back(ids[i]);
        CloseHandle(p);
    }
    return found;
}

void kill_all_named(const char* image_name)
{
    for (DWORD id : processes_named(image_name)) {
        HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (p) {
            TerminateProcess(p, 99);
            WaitForSingleObject(p, 5000);
            CloseHandle(p);
        }
    }
}

bool wait_until(const std::function<bool()>& done, DWORD timeout_ms)
{
    DWORD start_tick = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start_tick >= timeout_ms)
            return false;
        Sleep(20);
    }
}

int option_number(const char* option, int fallback)
{
    const char* at = strstr(GetCommandLineA(), option);
    return at ? atoi(at + strlen(option)) : fallback;
}

} // namespace ts
