#include "spine_support.h"

#include <shellapi.h>

#include "contract.h"
#include "test_support.h"

namespace spine {

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

void start_unix(const std::string& shell_command)
{
    // Wine runs Unix programs directly; their process handles cannot be
    // waited for, so callers wait for what the command produces.
    HANDLE process = ts::start("/bin/sh -c \"" + shell_command + "\"");
    if (process)
        CloseHandle(process);
}

HWND tray_window()
{
    return FindWindowA(TRAY_WINDOW_CLASS, nullptr);
}

static BOOL CALLBACK count_tray_windows(HWND window, LPARAM count)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, TRAY_WINDOW_CLASS) == 0)
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int tray_window_count()
{
    int count = 0;
    EnumWindows(count_tray_windows, reinterpret_cast<LPARAM>(&count));
    return count;
}

HANDLE start_tray(const std::vector<std::string>& env, HWND* window)
{
    HANDLE process = nullptr;
    if (env.size() == 1 && env[0] == ZH_LOCALE) {
        // Wine takes the locale from the Unix environment of a program
        // started from outside, not from a Windows environment block.
        start_unix(std::string(ZH_LOCALE) + " exec /usr/bin/wine '" + unix_path(ts::sibling(TRAY_EXE)) +
                   "' -s");
    } else {
        process = ts::start("\"" + ts::sibling(TRAY_EXE) + "\" -s", env);
        if (!process)
            return nullptr;
    }
    HWND found = nullptr;
    ts::wait_until([&] { return (found = tray_window()) != nullptr; }, 10000);
    if (window)
        *window = found;
    if (!process && found) {
        DWORD id = 0;
        GetWindowThreadProcessId(found, &id);
        process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id);
    }
    return process;
}

void stop_trays()
{
    ts::kill_all_named(TRAY_EXE);
    ts::wait_until([] { return tray_window() == nullptr; }, 5000);
}

bool icon_present(HWND window)
{
    NOTIFYICONDATAA probe = {};
    probe.cbSize = sizeof probe;
    probe.hWnd = window;
    probe.uID = 0;
    probe.uFlags = 0;
    return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

bool wait_icon(HWND window, bool present, DWORD timeout_ms)
{
    return ts::wait_until([&] { return icon_present(window) == present; }, timeout_ms);
}

struct tooltip_search {
    std::wstring text;
    bool close;
};

static BOOL CALLBACK look_at_tooltip(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<tooltip_search*>(data);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "tooltips_class32") != 0 || !IsWindowVisible(window))
        return TRUE;
    if (search->close) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return TRUE;
    }
    wchar_t text[1024] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                        &length);
    if (text[0]) {
        search->text = text;
        return FALSE;
    }
    return TRUE;
}

std::wstring balloon_text()
{
    tooltip_search search = {L"", false};
    EnumWindows(look_at_tooltip, reinterpret_cast<LPARAM>(&search));
    return search.text;
}

bool wait_balloon(const std::wstring& text, DWORD timeout_ms)
{
    return ts::wait_until([&] { return balloon_text() == text; }, timeout_ms);
}

std::string utf8(const std::wstring& text)
{
    char out[2048] = {};
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, sizeof out, nullptr, nullptr);
    return out;
}

void dismiss_balloons()
{
    tooltip_search search = {L"", true};
    EnumWindows(look_at_tooltip, reinterpret_cast<LPARAM>(&search));
}

DWORD run_captured(const std::string& command_line, std::string* output, DWORD timeout_ms,
                   const std::vector<std::string>& env)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + "spine_output.txt";
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0xFFFFFFFF;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = file;
    si.hStdError = file;
    si.hStdInput = nullptr;
    std::vector<char> cmd(command_line.begin(), command_line.end());
    cmd.push_back('\0');
    std::vector<char> block;
    if (!env.empty()) {
        // The current environment with the extra variables in front.
        for (const auto& e : env) {
            block.insert(block.end(), e.begin(), e.end());
            block.push_back('\0');
        }
        char* current = GetEnvironmentStringsA();
        for (const char* p = current; *p; p += strlen(p) + 1)
            block.insert(block.end(), p, p + strlen(p) + 1);
        FreeEnvironmentStringsA(current);
        block.push_back('\0');
    }
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0,
                                  block.empty() ? nullptr : block.data(), nullptr, &si, &pi);
    CloseHandle(file);
    if (!started)
        return 0xFFFFFFFF;
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(pi.hProcess, timeout_ms) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (output)
        *output = ts::read_file(path);
    return code;
}

bool screenshot(const char* name)
{
    std::string bin = ts::bin_dir();  // <build>\tests\bin\ .
    std::string folder = bin.substr(0, bin.size() - 4) + "artifacts";
    ts::make_dirs(folder);
    std::string target = folder + "\\" + name + ".png";
    ts::remove_file(target);
    std::string unix_target = unix_path(target);
    if (unix_target.empty())
        return false;
    // Written under another name and renamed when whole.
    start_unix("xwd -root -silent | convert xwd:- '" + unix_target + ".part.png' && mv '" + unix_target +
               ".part.png' '" + unix_target + "'");
    return ts::wait_until([&] { return ts::file_exists(target); }, 15000);
}

void post_registered(HWND window, const char* name)
{
    PostMessageA(window, RegisterWindowMessageA(name), 0, 0);
}

} // namespace spine
