#include "desktop.h"

#include <windows.h>

#include <vector>

#include "test_support.h"

namespace ts {

typedef char*(CDECL* unix_name_fn)(const wchar_t* dos_name);

std::string unix_path(const std::string& dos_path)
{
    auto to_unix = reinterpret_cast<unix_name_fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!to_unix)
        return "";
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, dos_path.c_str(), -1, wide, MAX_PATH);
    char* name = to_unix(wide);
    if (!name)
        return "";
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

bool start_unix(const std::string& shell_command)
{
    std::string command = "/bin/sh -c \"" + shell_command + "\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    // Wine starts a Unix program and succeeds, but with no process handle.
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    if (pi.hThread)
        CloseHandle(pi.hThread);
    return true;
}

bool plant_folder_link(const std::string& folder, const std::string& target)
{
    std::string kept = folder + "-kept";
    make_dirs(target);
    remove_tree(kept);
    return MoveFileA(folder.c_str(), kept.c_str()) &&
           start_unix("ln -s '" + unix_path(target) + "' '" + unix_path(kept) + "/../" +
                      folder.substr(folder.find_last_of('\\') + 1) + "'") &&
           wait_until([&] { return GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5000);
}

void put_back_folder(const std::string& folder)
{
    std::string kept = folder + "-kept";
    start_unix("rm -f '" + unix_path(kept) + "/../" + folder.substr(folder.find_last_of('\\') + 1) + "'");
    wait_until([&] { return GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES; }, 5000);
    MoveFileA(kept.c_str(), folder.c_str());
}

std::string wine_loader()
{
#if defined(_WIN64)
    const char* name = "GT_WINE64";
#else
    const char* name = "GT_WINE32";
#endif
    char path[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA(name, path, sizeof path);
    return length > 0 && length < sizeof path ? path : "";
}

bool start_chinese(const std::string& exe, const std::string& tail)
{
    std::string unix_exe = unix_path(exe), loader = wine_loader();
    if (unix_exe.empty() || loader.empty())
        return false;
    return start_unix(std::string(CHINESE_LOCALE) + " exec '" + loader + "' '" + unix_exe + "' " + tail);
}

bool screenshot(const char* name)
{
    std::string bin = bin_dir();   // <build>\tests\bin\ .
    std::string folder = bin.substr(0, bin.size() - 4) + "artifacts";
    make_dirs(folder);
    std::string target = folder + "\\" + name + ".png";
    remove_file(target);
    std::string unix_target = unix_path(target);
    if (unix_target.empty())
        return false;
    // Written under another name and renamed when whole.
    std::string part = "'" + unix_target + ".part.png'";
    if (!start_unix("for try in 1 2 3; do import -window root " + part + " && mv " + part + " '" +
                    unix_target + "' && break; sleep 0.2; done"))
        return false;
    return wait_until([&] { return file_exists(target); }, 15000);
}

} // namespace ts
