#include "tray_run.h"

#include <shellapi.h>
#include <stdio.h>

#include "contract.h"
#include "handles.h"
#include "test_support.h"

namespace tray_run {

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

// One start: the program's handle (NULL when it could not be started) and
// its window, if one shows within 15 s.
static HANDLE start_once(const std::vector<std::string>& env, HWND* found)
{
    HANDLE process = nullptr;
    std::string exe = ts::sibling(TRAY_IMAGE_NAME);
    if (env.size() == 1 && env[0] == ts::CHINESE_LOCALE) {
        // A locale in a Windows environment block would not reach Wine.
        ts::start_chinese(exe, "-s");
    } else {
        process = ts::start("\"" + exe + "\" -s", env);
        if (!process)
            return nullptr;
    }
    *found = nullptr;
    ts::wait_until([&] { return (*found = tray_window()) != nullptr; }, 15000);
    return process;
}

// Wine 8 now and then deadlocks a process whose two threads open their
// first display DC at the same moment (gdb: both threads in NtGdiOpenDCW,
// one waiting for a win32u mutex, the other in a pthread_once). The
// tray's window thread and worker do just that at start, about once in 200
// starts here: such a tray runs for ever without its window. It is ended
// and started once more, with a line that says so.
HANDLE start_tray(const std::vector<std::string>& env, HWND* window)
{
    HWND found = nullptr;
    HANDLE process = start_once(env, &found);
    if (!found) {
        DWORD code = 0;
        bool ended = process && GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
        fprintf(stderr, "no tray window after 15 s: %s; %u tray processes%s\n",
                ended ? ("the program ended with " + std::to_string(code)).c_str() : "the program runs",
                static_cast<unsigned>(ts::processes_named(TRAY_IMAGE_NAME).size()),
                ended ? "" : ": ended, and started once more");
        if (!ended) {
            if (process)
                CloseHandle(process);
            stop_trays();
            process = start_once(env, &found);
        }
    }
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
    ts::kill_all_named(TRAY_IMAGE_NAME);
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
    std::string path = std::string(temp) + "tray_run_output.txt";
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

void post_registered(HWND window, const char* name)
{
    PostMessageA(window, RegisterWindowMessageA(name), 0, 0);
}

std::string take_idle_block()
{
    unique_handle mutex(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, IDLE_MUTEX_NAME));
    unique_handle mapping(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, IDLE_MAPPING_NAME));
    if (!mutex || !mapping)
        return "";
    unique_view view(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, IDLE_BLOCK_SIZE));
    if (!view || WaitForSingleObject(mutex.get(), 2000) != WAIT_OBJECT_0)
        return "";
    std::string bytes(static_cast<const char*>(view.get()), IDLE_BLOCK_SIZE);
    memset(view.get(), 0, IDLE_BLOCK_SIZE);
    ReleaseMutex(mutex.get());
    return bytes;
}

void nudge_mouse()
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = 1;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof input);
}

} // namespace tray_run
