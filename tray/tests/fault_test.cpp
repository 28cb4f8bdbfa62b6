// Faults injected into the real tray program on the Wine desktop: each test
// then shows that the program still does its work, lost nothing and wrote
// exactly the lines it should.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <thread>
#include <vector>

#include "contract.h"
#include "handles.h"
#include "idle_publisher.h"
#include "tray_run.h"
#include "test_support.h"
#include "tray_driver.h"
#include "tray_seams.h"
#include "ui_strings.h"

namespace {

const std::string kActiveBlock = std::string(IDLE_ACTIVE_TEXT) + std::string(IDLE_BLOCK_SIZE - 6, '\0');
const std::vector<std::string> kRunning = {LOG_TRAY_RUNNING};

std::wstring wide(const char* text)
{
    wchar_t buffer[512] = {};
    MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, 511);
    return buffer;
}

const std::wstring& balloon(int entry)
{
    static const std::wstring texts[] = {wide(g_english_strings[UI_UPGRADE_OVER]),
                                         wide(g_english_strings[UI_UPGRADING]),
                                         wide(g_english_strings[UI_UPGRADED_RESTART])};
    return texts[entry - UI_UPGRADE_OVER];
}

bool set_state(DWORD type, const std::string& bytes)
{
    return ts::reg_set_raw(HKEY_LOCAL_MACHINE, UPGRADE_KEY, UPGRADE_STATE_VALUE, type, bytes.data(),
                           static_cast<DWORD>(bytes.size()));
}

std::string strategy()
{
    std::string bytes;
    if (!ts::reg_get(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, &bytes))
        return "(absent)";
    return bytes;
}

bool strategy_becomes(const char* digit)
{
    return ts::wait_until([&] { return strategy() == std::string(digit, 2); }, 3000);
}

std::string log_text(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines)
        text += "[" + line + "] ";
    return text;
}

// The log holds exactly `lines`, and still does a moment later.
void expect_log(const std::vector<std::string>& lines)
{
    td::wait_log_lines(lines.size(), 3000);
    Sleep(200);
    EXPECT_EQ(lines, logs::tray_log_messages()) << log_text(logs::tray_log_messages());
}

class TrayFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        tray_run::stop_trays();
        tray_run::dismiss_balloons();
        ts::set_manufacturer("QEMU");
        logs::clear_tray_log();
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, UPGRADE_KEY);
    }
    void TearDown() override { td::end_tray_test(tray_); }
    // The real program with short periods; returns when the watcher runs.
    void start(std::vector<std::string> env = {}, bool with_icon = true)
    {
        env.push_back(TEST_WATCH_PAUSE_ENV "=100");
        env.push_back(TEST_IDLE_PERIOD_ENV "=200");
        tray_ = tray_run::start_tray(env, &window_);
        ASSERT_NE(nullptr, window_);
        if (with_icon) {
            ASSERT_TRUE(tray_run::wait_icon(window_, true, 5000));
        }
        ASSERT_TRUE(td::wait_log_lines(1, 10000));
        ASSERT_EQ(kRunning, logs::tray_log_messages());
        Sleep(200);   // the watcher arms its first wait
    }
    // The program answers, keeps its icon, hears the upgrader, shows a
    // balloon when asked to (the shell takes 2 s for one) and logs 1037
    // once: the log is then `log` and that line.
    void expect_still_works(std::vector<std::string> log, bool with_balloon = false)
    {
        DWORD_PTR answer = 0;
        EXPECT_NE(0, SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer));
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(tray_, 0)) << "the program ended";
        EXPECT_EQ(1, tray_run::tray_window_count());
        // A refused add comes back with the next retry.
        EXPECT_TRUE(tray_run::wait_icon(window_, true, 5000));

        ts::reg_set_sz(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, "x");
        ts::reg_delete_value(HKEY_LOCAL_MACHINE, UPGRADE_KEY, UPGRADE_STATE_VALUE);
        Sleep(200);
        ASSERT_TRUE(set_state(REG_SZ, std::string("5", 2)));
        EXPECT_TRUE(strategy_becomes("2")) << strategy();

        if (with_balloon) {
            tray_run::dismiss_balloons();
            PostMessageA(window_, WM_UPGRADE_NOTIFY, 0, UPGRADE_NOTE_UPGRADING);
            EXPECT_TRUE(tray_run::wait_balloon(balloon(UI_UPGRADING), 5000))
                << tray_run::utf8(tray_run::balloon_text());
        }

        PostMessageA(window_, WM_HIBERNATE_ASKED, 0, 0);
        log.push_back(LOG_HIBERNATE_ASKED);
        expect_log(log);
    }
    HANDLE tray_ = nullptr;
    HWND window_ = nullptr;
};

// Anything the window does not know, posted in bulk, changes nothing. The
// icon callback leaves out WM_RBUTTONDOWN (516), which opens the menu.
TEST_F(TrayFaults, GarbageMessagesChangeNothing)
{
    ASSERT_NO_FATAL_FAILURE(start());
    ts::reg_set_sz(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, "x");
    DWORD seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    const LPARAM notes[] = {0, 1, 1034, 1037, 1038, 1040, -1, 0x7FFFFFFF, 0x10000 + 1035};
    for (LPARAM note : notes)
        PostMessageA(window_, WM_UPGRADE_NOTIFY, 0, note);
    const LPARAM icon_events[] = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK,
                                  WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_MBUTTONDOWN, WM_CONTEXTMENU,
                                  NIN_SELECT, NIN_KEYSELECT, NIN_BALLOONSHOW, NIN_BALLOONHIDE,
                                  NIN_BALLOONTIMEOUT, NIN_BALLOONUSERCLICK, 0};
    for (LPARAM event : icon_events)
        PostMessageA(window_, WM_TRAYICON, 0, event);
    for (int i = 0; i < 200; ++i) {
        LPARAM event = i % 2 ? static_cast<LPARAM>(next()) : static_cast<LPARAM>(next() % 2048);
        if (event != WM_RBUTTONDOWN)
            PostMessageA(window_, WM_TRAYICON, next(), event);
    }
    const WORD commands[] = {0, 1, 2, 9, 32769, 32771, 32778, 32780, 32783, 40000, 0xFFFF};
    for (WORD id : commands)
        PostMessageA(window_, WM_COMMAND, id, 0);
    const UINT hide = RegisterWindowMessageA(HIDE_TRAY_MESSAGE);
    const UINT add = RegisterWindowMessageA(ADD_TRAY_MESSAGE);
    for (int i = 0; i < 100; ++i)
        PostMessageA(window_, i % 2 ? add : hide, next(), next());

    EXPECT_TRUE(tray_run::wait_icon(window_, true, 5000)) << "the last one was AddTray";
    Sleep(500);
    EXPECT_EQ(L"", tray_run::balloon_text()) << "no balloon text was ever set";
    EXPECT_EQ(std::string("x", 2), strategy());
    EXPECT_EQ(kRunning, logs::tray_log_messages());
    expect_still_works(kRunning, true);
}

// The shell lost the icon and came back: "TaskbarCreated" adds it again.
// The same message while the shell still holds it: the add is refused as a
// duplicate, and the icon and the balloons that follow must not suffer.
TEST_F(TrayFaults, TaskbarCreatedWithTheIconShownAndADuplicateAddRefused)
{
    ASSERT_NO_FATAL_FAILURE(start({TEST_TRAY_RETRY_ENV "=200"}));
    NOTIFYICONDATAA lost = {};
    lost.cbSize = sizeof lost;
    lost.hWnd = window_;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &lost));
    ASSERT_FALSE(tray_run::icon_present(window_));
    tray_run::post_registered(window_, TASKBAR_CREATED_MESSAGE);
    EXPECT_TRUE(tray_run::wait_icon(window_, true, 5000)) << "added again";

    tray_run::post_registered(window_, TASKBAR_CREATED_MESSAGE);
    Sleep(300);
    PostMessageA(window_, WM_UPGRADE_NOTIFY, 0, UPGRADE_NOTE_RESTART);
    EXPECT_TRUE(tray_run::wait_balloon(balloon(UI_UPGRADED_RESTART), 3000))
        << "the balloon after a refused duplicate: " << tray_run::utf8(tray_run::balloon_text());
    EXPECT_TRUE(tray_run::icon_present(window_));
    expect_still_works(kRunning);
}

// The shell comes up 2.5 s after the program and says so with
// "TaskbarCreated" before the next retry: the balloon asked for meanwhile
// is shown with the icon.
TEST_F(TrayFaults, ShellStartedLaterShowsTheBalloonAskedForMeanwhile)
{
    ASSERT_NO_FATAL_FAILURE(
        start({TEST_SHELL_DELAY_ENV "=2500", TEST_TRAY_RETRY_ENV "=20000"}, false));
    const DWORD started = GetTickCount();   // later than the program's own start
    PostMessageA(window_, WM_UPGRADE_NOTIFY, 0, UPGRADE_NOTE_OVER);
    Sleep(100);
    EXPECT_FALSE(tray_run::icon_present(window_)) << "the shell refuses at first";
    while (GetTickCount() - started < 2700)
        Sleep(50);
    tray_run::post_registered(window_, TASKBAR_CREATED_MESSAGE);
    EXPECT_TRUE(tray_run::wait_icon(window_, true, 3000));
    EXPECT_TRUE(tray_run::wait_balloon(balloon(UI_UPGRADE_OVER), 3000))
        << tray_run::utf8(tray_run::balloon_text());
    expect_still_works(kRunning);
}

// Product key absent at start; "upgradestate" of other types and lengths;
// the keys deleted and made again while the program runs.
TEST_F(TrayFaults, OddUpgradeStatesAndKeysThatComeAndGo)
{
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ("(absent)", strategy());

    ASSERT_TRUE(set_state(REG_DWORD, std::string("5\0\0\0", 4)));
    EXPECT_TRUE(strategy_becomes("2")) << "REG_DWORD \"5\" into the key the program made";
    ASSERT_TRUE(set_state(REG_BINARY, "6" + std::string(30, '\0')));
    EXPECT_TRUE(strategy_becomes("3")) << "31 bytes are read";

    struct {
        DWORD type;
        std::string bytes;
    } ignored[] = {
        {REG_BINARY, "5" + std::string(31, '\0')},   // 32 bytes are not read
        {REG_SZ, std::string(32, '2') + '\0'},
        {REG_SZ, std::string("", 1)},
        {REG_SZ, ""},
    };
    for (auto& row : ignored) {
        ASSERT_TRUE(set_state(row.type, row.bytes));
        Sleep(200);
    }
    EXPECT_EQ(std::string("3", 2), strategy()) << "a value that is no state changed it";
    EXPECT_EQ(L"", tray_run::balloon_text());

    ASSERT_TRUE(set_state(REG_SZ, "1"));   // no terminator stored
    EXPECT_TRUE(tray_run::wait_balloon(balloon(UI_UPGRADE_OVER), 3000))
        << tray_run::utf8(tray_run::balloon_text());

    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    Sleep(100);
    ASSERT_TRUE(set_state(REG_SZ, std::string("4", 2)));   // makes both keys again
    Sleep(1000);
    tray_run::dismiss_balloons();
    ASSERT_TRUE(set_state(REG_SZ, std::string("2", 2)));
    EXPECT_TRUE(tray_run::wait_balloon(balloon(UI_UPGRADED_RESTART), 3000))
        << "heard after the keys came back: " << tray_run::utf8(tray_run::balloon_text());
    expect_still_works(kRunning);
}

// A block of another process with its own text, and its mutex held for
// 3 s: the publisher never writes without it and holds up nothing else;
// once it is free, one write of the whole block.
TEST_F(TrayFaults, IdleBlockOfAnotherProcessWithItsMutexHeldForSeconds)
{
    unique_handle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                             IDLE_BLOCK_SIZE, IDLE_MAPPING_NAME));
    unique_handle mutex(CreateMutexA(nullptr, FALSE, IDLE_MUTEX_NAME));
    ASSERT_TRUE(mapping && mutex);
    unique_view view(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, IDLE_BLOCK_SIZE));
    ASSERT_TRUE(view);
    char* block = static_cast<char*>(view.get());
    const std::string other(IDLE_BLOCK_SIZE, 'x');
    ASSERT_NO_FATAL_FAILURE(start());

    // Taken and kept for seconds; then input: each look waits one period at
    // most, skips its write and says so once.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex.get(), 2000));
    memcpy(block, other.data(), IDLE_BLOCK_SIZE);
    tray_run::nudge_mouse();
    const DWORD held_from = GetTickCount();
    EXPECT_TRUE(td::wait_log_lines(2, 3000));
    expect_still_works({LOG_TRAY_RUNNING, LOG_IDLE_MUTEX_BUSY});
    while (GetTickCount() - held_from < 3000)
        Sleep(100);
    EXPECT_EQ(other, std::string(block, IDLE_BLOCK_SIZE)) << "written without the mutex";
    ReleaseMutex(mutex.get());

    auto read_and_clear = [&] {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex.get(), 2000));
        std::string bytes(block, IDLE_BLOCK_SIZE);
        memset(block, 0, IDLE_BLOCK_SIZE);
        ReleaseMutex(mutex.get());
        return bytes;
    };
    // The looks meanwhile waited one period each and skipped their write; the
    // first look after the release writes.
    std::string seen;
    EXPECT_TRUE(ts::wait_until([&] { return (seen = read_and_clear()) == kActiveBlock; }, 2000))
        << seen.substr(0, 8);
    Sleep(1000);   // five looks without input
    EXPECT_EQ(std::string(IDLE_BLOCK_SIZE, '\0'), read_and_clear()) << "written twice";
    expect_log({LOG_TRAY_RUNNING, LOG_IDLE_MUTEX_BUSY, LOG_HIBERNATE_ASKED});
}

// A top-level window that never answers while the program starts: the
// autoplay broadcast gives up on it and the watcher runs.
TEST_F(TrayFaults, AHungTopLevelWindowDuringTheAutoplayBroadcast)
{
    unique_handle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    unique_handle created(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread hung([&] {
        HWND window = CreateWindowExA(0, "STATIC", "fault_hung", WS_OVERLAPPED, 0, 0, 10, 10,
                                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        SetEvent(created.get());
        WaitForSingleObject(release.get(), 30000);
        DestroyWindow(window);
    });
    WaitForSingleObject(created.get(), 5000);
    tray_ = tray_run::start_tray({TEST_WATCH_PAUSE_ENV "=100"}, &window_);
    DWORD started = GetTickCount();
    EXPECT_NE(nullptr, window_);
    EXPECT_TRUE(tray_run::wait_icon(window_, true, 5000)) << "the window thread is not held";
    bool running = td::wait_log_lines(1, 15000);
    printf("\"tray running\" %lu ms after the window\n", GetTickCount() - started);
    SetEvent(release.get());
    hung.join();
    ASSERT_TRUE(running);
    ASSERT_EQ(kRunning, logs::tray_log_messages());
    Sleep(200);
    expect_still_works(kRunning);
}

// A slow update engine holds the answer to the session-end query; what
// arrives meanwhile is handled after it, once each.
TEST_F(TrayFaults, SlowUpdateEngineAtSessionEnd)
{
    ASSERT_NO_FATAL_FAILURE(start());
    td::install_engine_double(1, 1500);
    DWORD_PTR answer = 0;
    DWORD took = 0;
    std::thread query([&] {
        DWORD from = GetTickCount();
        SendMessageTimeoutA(window_, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 10000, &answer);
        took = GetTickCount() - from;
    });
    Sleep(300);
    PostMessageA(window_, WM_HIBERNATE_ASKED, 0, 0);
    PostMessageA(window_, WM_UPGRADE_NOTIFY, 0, UPGRADE_NOTE_RESTART);
    query.join();
    EXPECT_EQ(TRUE, static_cast<BOOL>(answer));
    EXPECT_GE(took, 1400u);
    EXPECT_EQ(1u, td::engine_double_calls());
    EXPECT_TRUE(tray_run::wait_balloon(balloon(UI_UPGRADED_RESTART), 3000))
        << tray_run::utf8(tray_run::balloon_text());
    expect_still_works({LOG_TRAY_RUNNING, MARKER_PATCHING, LOG_HIBERNATE_ASKED});
}

} // namespace
