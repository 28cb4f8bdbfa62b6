#include "tray_driver.h"

#include "contract.h"
#include "test_support.h"
#include "wu_engine_double.h"

#include <gtest/gtest.h>

namespace td {

namespace {

const char* const kProgramFiles = "C:\\Program Files";
const char* const kEngineBackup = WU_ENGINE_PATH ".wine";

struct enum_state {
    const char* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_captioned(HWND window, LPARAM param)
{
    enum_state* state = reinterpret_cast<enum_state*>(param);
    if (IsWindowVisible(window) && window_text(window) == state->caption)
        state->found.push_back(window);
    return TRUE;
}

bool has_stamp(const std::string& line)
{
    static const char pattern[] = "dddd-dd-dd dd:dd:dd : ";
    if (line.size() < sizeof pattern - 1)
        return false;
    for (size_t i = 0; i < sizeof pattern - 1; ++i) {
        bool digit = line[i] >= '0' && line[i] <= '9';
        if (pattern[i] == 'd' ? !digit : line[i] != pattern[i])
            return false;
    }
    return true;
}

void save_wine_engine()
{
    if (!ts::file_exists(kEngineBackup) && ts::file_exists(WU_ENGINE_PATH))
        CopyFileA(WU_ENGINE_PATH, kEngineBackup, TRUE);
}

DWORD double_number(const char* name)
{
    std::string bytes;
    if (!ts::reg_get(HKEY_LOCAL_MACHINE, WU_DOUBLE_KEY, name, &bytes) || bytes.size() != 4)
        return 0;
    return *reinterpret_cast<const DWORD*>(bytes.data());
}

std::string unix_path(const std::string& dos_path)
{
    typedef char*(CDECL * to_unix)(const WCHAR*);
    to_unix convert = reinterpret_cast<to_unix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert)
        return std::string();
    WCHAR wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, dos_path.c_str(), -1, wide, MAX_PATH);
    char* path = convert(wide);
    if (!path)
        return std::string();
    std::string out = path;
    HeapFree(GetProcessHeap(), 0, path);
    return out;
}

} // namespace

std::vector<HWND> windows_captioned(DWORD thread, const char* caption)
{
    enum_state state = {caption, {}};
    EnumThreadWindows(thread, collect_captioned, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

std::vector<HWND> wait_windows(DWORD thread, const char* caption, size_t count,
                               DWORD timeout_ms)
{
    std::vector<HWND> found;
    ts::wait_until(
        [&] {
            found = windows_captioned(thread, caption);
            return found.size() >= count;
        },
        timeout_ms);
    return found;
}

bool wait_gone(HWND window, DWORD timeout_ms)
{
    return ts::wait_until([&] { return !IsWindow(window) || !IsWindowVisible(window); },
                          timeout_ms);
}

std::string window_text(HWND window)
{
    // Read wide and turned into GBK: the test program's own code page could
    // not carry the Chinese texts, and ASCII is the same in both.
    WCHAR text[512];
    wmemset(text, 0x5A5A, 512);
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &length) ||
        length >= 512)
        return "<no answer>";
    char gbk[1024] = {};
    int bytes = WideCharToMultiByte(936, 0, text, static_cast<int>(length), gbk, sizeof gbk,
                                    nullptr, nullptr);
    return std::string(gbk, bytes > 0 ? bytes : 0);
}

std::string control_text(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control ? window_text(control) : "<no control>";
}

HWND focus_of(DWORD thread)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

RECT work_area()
{
    RECT area = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

std::string tray_log_path()
{
    return std::string(kProgramFiles) + TRAY_LOG_NAME;
}

void reset_tray_log()
{
    ts::make_dirs(std::string(kProgramFiles) + "\\virtio\\monitor");
    ts::remove_file(tray_log_path());
}

std::vector<std::string> log_messages()
{
    std::string text = ts::read_file(tray_log_path());
    std::vector<std::string> messages;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = text.substr(start, end - start);
        if (has_stamp(line))
            messages.push_back(line.substr(22));
        else if (!messages.empty())
            messages.back() += "\n" + line;   // a message's own line end
        else
            ADD_FAILURE() << "log line without a stamp: " << line;
    }
    EXPECT_EQ(start, text.size()) << "log text after the last line end";
    return messages;
}

bool wait_log_lines(size_t count, DWORD timeout_ms)
{
    return ts::wait_until(
        [&] { return log_messages().size() >= count; }, timeout_ms);
}

void install_engine_double(DWORD answer, DWORD delay_ms)
{
    save_wine_engine();
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, WU_DOUBLE_KEY);
    ts::reg_set_dword(HKEY_LOCAL_MACHINE, WU_DOUBLE_KEY, WU_DOUBLE_ANSWER, answer);
    ts::reg_set_dword(HKEY_LOCAL_MACHINE, WU_DOUBLE_KEY, WU_DOUBLE_DELAY_MS, delay_ms);
    ASSERT_TRUE(CopyFileA(ts::sibling(WU_DOUBLE_FILE).c_str(), WU_ENGINE_PATH, FALSE))
        << GetLastError();
}

void remove_engine()
{
    save_wine_engine();
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, WU_DOUBLE_KEY);
    ts::remove_file(WU_ENGINE_PATH);
    ASSERT_FALSE(ts::file_exists(WU_ENGINE_PATH));
}

void restore_engine()
{
    if (ts::file_exists(kEngineBackup))
        CopyFileA(kEngineBackup, WU_ENGINE_PATH, FALSE);
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, WU_DOUBLE_KEY);
}

DWORD engine_double_loads()
{
    return double_number(WU_DOUBLE_LOADS);
}

DWORD engine_double_calls()
{
    return double_number(WU_DOUBLE_CALLS);
}

void stage_upgrade_batch(const char* kind)
{
    std::string path = UPGRADE_BATCH_PATH;
    std::string folder = path.substr(0, path.rfind('\\'));
    ts::remove_tree(folder.substr(0, folder.rfind('\\')));
    if (!strcmp(kind, "file")) {
        ts::make_dirs(folder);
        ts::write_file(path, "@echo off\r\n");
    } else if (!strcmp(kind, "dir")) {
        ts::make_dirs(path);
    }
}

void set_update_count(const DWORD* count)
{
    if (count)
        ts::reg_set_dword(HKEY_LOCAL_MACHINE, UPDATE_COUNT_KEY, UPDATE_COUNT_VALUE, *count);
    else
        ts::reg_delete_value(HKEY_LOCAL_MACHINE, UPDATE_COUNT_KEY, UPDATE_COUNT_VALUE);
}

namespace {

// Wine runs Unix programs directly but gives no process handle for them.
bool start_unix(const std::string& shell_command)
{
    std::string command = "/bin/sh -c \"" + shell_command + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return false;
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    if (pi.hThread)
        CloseHandle(pi.hThread);
    return true;
}

} // namespace

HWND start_tray(bool chinese)
{
    stop_trays();
    reset_tray_log();
    std::string exe = ts::sibling(TRAY_IMAGE_NAME);
    if (chinese) {
        // Wine takes the locale from the Unix environment it starts in.
        if (!start_unix("LC_ALL=zh_CN.UTF-8 exec /usr/bin/wine '" + unix_path(exe) + "' -s"))
            return nullptr;
    } else {
        HANDLE process = ts::start("\"" + exe + "\" -s");
        if (!process)
            return nullptr;
        CloseHandle(process);
    }
    HWND tray = nullptr;
    ts::wait_until([&] { return (tray = FindWindowA(TRAY_WINDOW_CLASS, nullptr)) != nullptr; },
                   15000);
    // The worker's first line, so that it cannot fall among a test's lines.
    ts::wait_until([] { return !ts::read_file(tray_log_path()).empty(); }, 5000);
    reset_tray_log();
    return tray;
}

void stop_trays()
{
    ts::kill_all_named(TRAY_IMAGE_NAME);
    ts::wait_until([] { return FindWindowA(TRAY_WINDOW_CLASS, nullptr) == nullptr; }, 5000);
}

bool click_at(int x, int y)
{
    HWND desktop = FindWindowA("Shell_TrayWnd", nullptr);
    RECT screen = {};
    GetWindowRect(GetDesktopWindow(), &screen);
    if (!desktop || screen.left != 0 || screen.top != 0)
        return false;
    std::string done = ts::bin_dir() + "click.done";
    ts::remove_file(done);
    if (!start_unix("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                    " click 1; touch '" + unix_path(done) + "'"))
        return false;
    bool clicked = ts::wait_until([&] { return ts::file_exists(done); }, 5000);
    ts::remove_file(done);
    return clicked;
}

bool screenshot(const char* name)
{
    std::string bin = ts::bin_dir();   // <build>\tests\bin\ .
    std::string folder = bin.substr(0, bin.size() - 4) + "artifacts";
    ts::make_dirs(folder);
    std::string target = folder + "\\" + name + ".png";
    ts::remove_file(target);
    std::string unix_target = unix_path(target);
    if (unix_target.empty())
        return false;
    // Written under another name and renamed when whole.
    std::string part = "'" + unix_target + ".part.png'";
    if (!start_unix("for try in 1 2 3; do import -window root " + part + " && mv " + part +
                    " '" + unix_target + "' && break; sleep 0.2; done"))
        return false;
    return ts::wait_until([&] { return ts::file_exists(target); }, 15000);
}

} // namespace td
