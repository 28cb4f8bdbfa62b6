#include "tray_driver.h"

#include "contract.h"
#include "desktop.h"
#include "tray_run.h"
#include "test_names.h"
#include "test_support.h"
#include "wu_engine_double.h"

#include <gtest/gtest.h>

#include <string.h>

namespace td {

namespace {

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

bool wait_log_lines(size_t count, DWORD timeout_ms)
{
    return ts::wait_until(
        [&] { return logs::tray_log_messages().size() >= count; }, timeout_ms);
}

void install_engine_double(DWORD answer, DWORD delay_ms)
{
    save_wine_engine();
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, WU_DOUBLE_KEY);
    ts::reg_set_dword(HKEY_LOCAL_MACHINE, WU_DOUBLE_KEY, WU_DOUBLE_ANSWER, answer);
    ts::reg_set_dword(HKEY_LOCAL_MACHINE, WU_DOUBLE_KEY, WU_DOUBLE_DELAY_MS, delay_ms);
    char convention[16] = {};
    GetEnvironmentVariableA(WU_DOUBLE_CONVENTION_ENV, convention, sizeof convention);
    const char* file = strcmp(convention, "cdecl") == 0 ? WU_DOUBLE_CDECL_FILE : WU_DOUBLE_FILE;
    ASSERT_TRUE(CopyFileA(ts::sibling(file).c_str(), WU_ENGINE_PATH, FALSE)) << file << " " << GetLastError();
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

HWND start_tray(bool chinese)
{
    tray_run::stop_trays();
    logs::clear_tray_log();
    HWND tray = nullptr;
    HANDLE process = tray_run::start_tray(
        chinese ? std::vector<std::string>{ts::CHINESE_LOCALE} : std::vector<std::string>{}, &tray);
    if (process)
        CloseHandle(process);
    // The worker's first line, so that it cannot fall among a test's lines.
    ts::wait_until([] { return !ts::read_file(logs::tray_log_path()).empty(); }, 5000);
    logs::clear_tray_log();
    return tray;
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
    if (!ts::start_unix("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                        " click 1; touch '" + ts::unix_path(done) + "'"))
        return false;
    bool clicked = ts::wait_until([&] { return ts::file_exists(done); }, 5000);
    ts::remove_file(done);
    return clicked;
}

void end_tray_test(HANDLE process)
{
    tray_run::stop_trays();
    tray_run::dismiss_balloons();
    if (process)
        CloseHandle(process);
    restore_engine();
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, UPGRADE_KEY);
    logs::clear_tray_log();
}

} // namespace td
