// Decisions of the tray program, called directly: the command line, the
// strategy read from the registry text, the balloon texts, the GBK tables,
// and the icon's state transitions against a scripted shell.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "autostart.h"
#include "command_line.h"
#include "contract.h"
#include "test_support.h"
#include "tray_app.h"
#include "tray_icon.h"
#include "tray_messages.h"
#include "tray_state.h"
#include "tray_window.h"
#include "ui_strings.h"
#include "upgrade_strategy.h"

TEST(CommandLine, OnlyTheExactSwitchCounts)
{
    struct {
        const char* tail;
        tray_switch expected;
    } cases[] = {
        {"-u", SWITCH_UNINSTALL}, {"-i", SWITCH_INSTALL}, {"-s", SWITCH_RUN},
        {"", SWITCH_USAGE},       {"-S", SWITCH_USAGE},   {"/s", SWITCH_USAGE},
        {"-s ", SWITCH_USAGE},    {" -s", SWITCH_USAGE},  {"-s -i", SWITCH_USAGE},
        {"-iu", SWITCH_USAGE},    {nullptr, SWITCH_USAGE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, parse_tray_switch(c.tail)) << (c.tail ? c.tail : "(null)");
}

TEST(RunValue, QuotedPathThenSwitch)
{
    char text[RUN_VALUE_CAPACITY];
    memset(text, 0xCC, sizeof text);
    ASSERT_TRUE(format_run_value("C:\\Program Files\\virtio\\qor-tel.exe", text, sizeof text));
    EXPECT_STREQ("\"C:\\Program Files\\virtio\\qor-tel.exe\" -s", text);

    // The longest module path (259 characters) still fits whole.
    std::string longest(259, 'p');
    EXPECT_EQ(longest.size() + 5, format_run_value(longest.c_str(), text, sizeof text));
    EXPECT_EQ("\"" + longest + "\" -s", std::string(text));

    // One character short of room: nothing to write.
    EXPECT_EQ(0u, format_run_value(longest.c_str(), text, longest.size() + 5));
}

TEST(RunValue, WrittenWithoutItsNul)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string expected = "\"" + std::string(path) + "\" -s";
    // Read back, the value cannot show the count it was written with (the
    // ANSI call adds the NUL a count leaves out): the write uses the count
    // the format gives.
    char text[RUN_VALUE_CAPACITY];
    memset(text, 0xCC, sizeof text);
    EXPECT_EQ(expected.size(), format_run_value(path, text, sizeof text));
    add_autostart();
    std::string bytes;
    ASSERT_TRUE(ts::reg_get(HKEY_LOCAL_MACHINE, RUN_KEY, TRAY_RUN_VALUE, &bytes));
    EXPECT_EQ(expected, bytes.substr(0, expected.size()));
    remove_autostart();
    EXPECT_FALSE(ts::reg_get(HKEY_LOCAL_MACHINE, RUN_KEY, TRAY_RUN_VALUE, &bytes));
}

TEST(StrategyText, TwoWinsThenThreeElseUnchanged)
{
    struct {
        bool read;
        const char* text;
        strategy_marks expected;
    } cases[] = {
        {true, "2", MARKS_AUTO},   {true, "3", MARKS_CLOSE},      {true, "23", MARKS_AUTO},
        {true, "32", MARKS_AUTO},  {true, "13", MARKS_CLOSE},     {true, "1", MARKS_UNCHANGED},
        {true, "", MARKS_UNCHANGED}, {false, "", MARKS_AUTO},
        // A digit never hides inside a double-byte character: 关闭 then "3".
        {true, "\xB9\xD8\xB1\xD5" "3", MARKS_CLOSE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, strategy_marks_from(c.read, c.text)) << c.text << " read=" << c.read;
}

// A written strategy and a read text set the flags through the same marks.
TEST(StrategyMarks, WrittenStrategyAndReadTextSetTheFlags)
{
    struct {
        int strategy;
        int auto_after, close_after;
    } written[] = {{STRATEGY_CLOSE, 0, 1}, {STRATEGY_AUTO, 1, 0}, {0, 1, 0}, {5, 1, 0}};
    for (const auto& c : written) {
        g_bAutoUpgrade = 1 - c.auto_after;
        g_bCloseUpgrade = 1 - c.close_after;
        apply_strategy_marks(strategy_marks_written(c.strategy));
        EXPECT_EQ(c.auto_after, g_bAutoUpgrade) << c.strategy;
        EXPECT_EQ(c.close_after, g_bCloseUpgrade) << c.strategy;
    }
    g_bAutoUpgrade = 0;
    g_bCloseUpgrade = 0;
    apply_strategy_marks(MARKS_UNCHANGED);
    EXPECT_EQ(0, g_bAutoUpgrade);
    EXPECT_EQ(0, g_bCloseUpgrade);
}

// The registry side of the strategy: the flags a read leaves, and the bytes
// a write stores. The product key is scratch here and removed afterwards.
class StrategyRegistry : public ::testing::Test {
protected:
    void SetUp() override { ts::reg_delete_tree(HKEY_LOCAL_MACHINE, PRODUCT_KEY); }
    void TearDown() override { ts::reg_delete_tree(HKEY_LOCAL_MACHINE, PRODUCT_KEY); }
    static void create_key() { ts::reg_set_dword(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "scratch", 0); }
};

TEST_F(StrategyRegistry, ReadSetsFlagsFromStoredText)
{
    struct {
        const char* stored;  // nullptr: value absent
        int auto_before, close_before;
        int auto_after, close_after;
    } cases[] = {
        {nullptr, 0, 1, 1, 0}, {"3", 1, 0, 0, 1}, {"23", 0, 1, 1, 0}, {"1", 1, 0, 1, 0},
    };
    create_key();
    for (const auto& c : cases) {
        if (c.stored)
            ts::reg_set_sz(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, c.stored);
        else
            ts::reg_delete_value(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE);
        g_bAutoUpgrade = c.auto_before;
        g_bCloseUpgrade = c.close_before;
        read_upgrade_strategy();
        EXPECT_EQ(c.auto_after, g_bAutoUpgrade) << (c.stored ? c.stored : "(absent)");
        EXPECT_EQ(c.close_after, g_bCloseUpgrade) << (c.stored ? c.stored : "(absent)");
    }
}

TEST_F(StrategyRegistry, KeyAbsentKeepsFlagsAndRefusesWrites)
{
    g_bAutoUpgrade = 0;
    g_bCloseUpgrade = 1;
    read_upgrade_strategy();
    EXPECT_EQ(0, g_bAutoUpgrade);
    EXPECT_EQ(1, g_bCloseUpgrade);
    strategy_write_failure failure = {};
    EXPECT_FALSE(write_upgrade_strategy(STRATEGY_AUTO, &failure));
    EXPECT_STREQ("RegOpenKeyExA", failure.call);
    EXPECT_STREQ("HKLM\\" PRODUCT_KEY, failure.object);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, failure.error);
    std::string bytes;
    EXPECT_FALSE(ts::reg_get(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, &bytes));
}

TEST_F(StrategyRegistry, WriteStoresDigitAndNul)
{
    create_key();
    struct {
        int strategy;
        const char* bytes;
    } cases[] = {{3, "3"}, {2, "2"}, {0, "2"}, {5, "2"}};
    for (const auto& c : cases) {
        EXPECT_TRUE(write_upgrade_strategy(c.strategy));
        std::string bytes;
        DWORD type = 0;
        ASSERT_TRUE(ts::reg_get(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, &bytes, &type));
        EXPECT_EQ(DWORD(REG_SZ), type);
        EXPECT_EQ(std::string(c.bytes, 2), bytes) << c.strategy;
    }
}

TEST(BalloonText, EntryPerNote)
{
    struct {
        LPARAM note;
        int entry;  // -1: no text, the previous one stays
    } cases[] = {
        {UPGRADE_NOTE_UPGRADING, UI_UPGRADING}, {UPGRADE_NOTE_RESTART, UI_UPGRADED_RESTART},
        {UPGRADE_NOTE_OVER, UI_UPGRADE_OVER},   {0, -1}, {1037, -1}, {1034, -1},
    };
    for (const auto* table : {g_english_strings, g_chinese_strings}) {
        for (const auto& c : cases) {
            const char* text = balloon_text_for(c.note, table);
            if (c.entry < 0)
                EXPECT_EQ(nullptr, text) << c.note;
            else
                EXPECT_EQ(table[c.entry], text) << c.note;
        }
    }
    EXPECT_STREQ("ZRV ONDRIX is upgraded successfully, Restart your computer please.",
                 balloon_text_for(UPGRADE_NOTE_RESTART, g_english_strings));
}

static std::string gbk(const wchar_t* text)
{
    char out[1024];
    memset(out, 0xCC, sizeof out);
    int n = WideCharToMultiByte(936, 0, text, -1, out, sizeof out, nullptr, nullptr);
    return n > 0 ? std::string(out, n - 1) : std::string("(conversion failed)");
}

TEST(UiStrings, ChineseTableIsGbkOfTheTexts)
{
    const wchar_t* expected[UI_ENTRY_COUNT] = {
        L"Hide tray",
        L"关于",
        L"Exit",
        L"ZRV ONDRIX更新完成。",
        L"ZRV ONDRIX正在更新，请不要关闭或重启计算机。",
        L"ZRV ONDRIX更新完成，请重启计算机。",
        L"自动升级",
        L"关闭升级",
        L"关于 ZRV Tools",
        nullptr,  // the About text: checked below
    };
    for (int i = 0; i < UI_ENTRY_COUNT; ++i) {
        if (expected[i]) {
            EXPECT_EQ(gbk(expected[i]), std::string(g_chinese_strings[i])) << "entry " << i;
        }
    }
    std::string about = g_chinese_strings[UI_ABOUT_TEXT];
    EXPECT_EQ(0u, about.find("ZRV Ondrix For Windows 2.5\n\n" + gbk(L"版权所有：")));
    EXPECT_NE(std::string::npos, about.find("\n\n\n" + gbk(L"警告：")));
    const std::string last = "\n\n\n" + gbk(L"ZRV Ondrix 正在运行。");
    EXPECT_EQ(about.size() - last.size(), about.rfind(last));
    // The shared English entries are the same strings.
    EXPECT_EQ(g_english_strings[UI_HIDE_TRAY], g_chinese_strings[UI_HIDE_TRAY]);
    EXPECT_EQ(g_english_strings[UI_EXIT], g_chinese_strings[UI_EXIT]);
}

TEST(UiStrings, AboutTextAndEntryTexts)
{
    std::string about = g_english_strings[UI_ABOUT_TEXT];
    EXPECT_EQ(0u, about.find("ZRV Ondrix For Windows 2.5\n\n"));
    const std::string last = "\n\n\nZRV Ondrix Is Running.";
    EXPECT_EQ(about.size() - last.size(), about.rfind(last));

    EXPECT_EQ(gbk(L"错误：无法打开有关的hKey"), TEXT_KEY_OPEN_FAILED);
    EXPECT_EQ(gbk(L"清除指定项失败！"), TEXT_DELETE_FAILED);
    EXPECT_EQ(gbk(L"系统参数错误,不能随系统启动"), TEXT_SET_FAILED);
    EXPECT_EQ(gbk(L"起线程失败!"), TEXT_THREAD_FAILED);
    EXPECT_EQ(gbk(L"CreateWindowEx 失败!"), TEXT_CREATE_WINDOW_FAILED);
    EXPECT_EQ(gbk(L"GetModuleFileName 失败!"), TEXT_MODULE_NAME_FAILED);
}

TEST(UiStrings, ChineseOnlyForPrcLocale)
{
    struct {
        LCID locale;
        const char* const* table;
    } cases[] = {{2052, g_chinese_strings}, {1033, g_english_strings}, {1028, g_english_strings},
                 {3076, g_english_strings}, {0, g_english_strings}};
    for (const auto& c : cases)
        EXPECT_EQ(c.table, choose_ui_strings(c.locale)) << c.locale;
    EXPECT_STREQ("en-US", g_ui_locales[0].name);
    EXPECT_STREQ("cn-CN", g_ui_locales[1].name);
    EXPECT_EQ(nullptr, g_ui_locales[2].name);
    EXPECT_EQ(nullptr, g_ui_locales[2].table);
}

// ---- The icon against a scripted shell ----

struct shell_call {
    DWORD command;
    UINT flags;
};
static std::vector<shell_call> s_calls;
static std::vector<BOOL> s_answers;  // consumed front first; empty: accept

static BOOL WINAPI scripted_shell(DWORD command, NOTIFYICONDATAA* data)
{
    s_calls.push_back({command, data->uFlags});
    if (s_answers.empty())
        return TRUE;
    BOOL answer = s_answers.front();
    s_answers.erase(s_answers.begin());
    return answer;
}

class IconStates : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(nullptr);
        g_uAddTray = RegisterWindowMessageA(ADD_TRAY_MESSAGE);
        g_uHideTray = RegisterWindowMessageA(HIDE_TRAY_MESSAGE);
        g_hTrayWnd = create_tray_window();
        ASSERT_NE(nullptr, g_hTrayWnd);
        g_pUiStrings = g_english_strings;
        setup_tray_icon();
        saved_shell_ = shell_notify;
        saved_interval_ = icon_retry_interval_ms;
        shell_notify = scripted_shell;
        icon_retry_interval_ms = 10;
        s_calls.clear();
        s_answers.clear();
    }
    void TearDown() override
    {
        remove_tray_icon();  // stops pending retries
        shell_notify = saved_shell_;
        icon_retry_interval_ms = saved_interval_;
        HWND w = g_hTrayWnd;
        g_hTrayWnd = nullptr;
        DestroyWindow(w);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        g_bIconAdded = 0;
        g_bTrayHidden = 0;
    }
    static LRESULT deliver(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return tray_window_proc(g_hTrayWnd, message, wParam, lParam);
    }
    // Runs the window's timers until `done` or the bound.
    static void pump_until(bool (*done)(), DWORD timeout_ms)
    {
        DWORD start = GetTickCount();
        MSG msg;
        while (!done() && GetTickCount() - start < timeout_ms) {
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            Sleep(1);
        }
    }
    shell_notify_fn saved_shell_ = nullptr;
    UINT saved_interval_ = 0;
};

// Each row: flags before, the shell's answer, the message, flags after and
// the shell command made (NONE: no call).
TEST_F(IconStates, Transitions)
{
    const DWORD NONE = 0xFFFFFFFF;  // NIM_ADD is 0
    const UINT hide = g_uHideTray, add = g_uAddTray, created = g_uTaskbarCreated;
    struct {
        const char* what;
        int added, hidden;
        BOOL answer;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        int added_after, hidden_after;
        DWORD command;
        UINT flags;
    } rows[] = {
        {"hide", 1, 0, TRUE, hide, 0, 0, 0, 1, NIM_DELETE, ICON_FLAGS},
        {"hide refused", 1, 0, FALSE, hide, 0, 0, 1, 1, NIM_DELETE, ICON_FLAGS},
        {"hide again", 1, 1, TRUE, hide, 0, 0, 0, 1, NIM_DELETE, ICON_FLAGS},
        {"hide when gone", 0, 1, TRUE, hide, 0, 0, 0, 1, NONE, 0},
        {"menu hide", 1, 0, TRUE, WM_COMMAND, ID_TRAY_HIDE, 0, 0, 1, NIM_DELETE, ICON_FLAGS},
        {"add", 0, 1, TRUE, add, 0, 0, 1, 0, NIM_ADD, ICON_FLAGS},
        {"add shown", 1, 0, TRUE, add, 0, 0, 1, 0, NIM_MODIFY, ICON_FLAGS},
        {"balloon hidden", 0, 1, TRUE, WM_UPGRADE_NOTIFY, 0, UPGRADE_NOTE_RESTART, 1, 0, NIM_ADD,
         ICON_FLAGS | NIF_INFO},
        {"balloon shown", 1, 0, TRUE, WM_UPGRADE_NOTIFY, 0, UPGRADE_NOTE_OVER, 1, 0, NIM_MODIFY,
         ICON_FLAGS | NIF_INFO},
        {"balloon 0", 0, 1, TRUE, WM_UPGRADE_NOTIFY, 0, 0, 1, 0, NIM_ADD, ICON_FLAGS | NIF_INFO},
        {"balloon timeout hidden", 1, 1, TRUE, WM_TRAYICON, 0, NIN_BALLOONTIMEOUT, 0, 1, NIM_DELETE,
         ICON_FLAGS},
        {"balloon click hidden", 1, 1, TRUE, WM_TRAYICON, 0, NIN_BALLOONUSERCLICK, 0, 1, NIM_DELETE,
         ICON_FLAGS},
        {"balloon click shown", 1, 0, TRUE, WM_TRAYICON, 0, NIN_BALLOONUSERCLICK, 1, 0, NONE, 0},
        {"button up", 1, 1, TRUE, WM_TRAYICON, 0, WM_RBUTTONUP, 1, 1, NONE, 0},
        {"taskbar created", 1, 0, TRUE, created, 0, 0, 1, 0, NIM_ADD, ICON_FLAGS},
        {"taskbar created hidden", 0, 1, TRUE, created, 0, 0, 0, 1, NONE, 0},
        {"strategy written", 1, 0, TRUE, WM_STRATEGY_WRITTEN, 3, 1, 1, 0, NIM_MODIFY, ICON_FLAGS},
        {"strategy written hidden", 0, 1, TRUE, WM_STRATEGY_WRITTEN, 2, 0, 0, 1, NONE, 0},
        {"unknown command", 1, 0, TRUE, WM_COMMAND, 9, 0, 1, 0, NONE, 0},
    };
    for (const auto& r : rows) {
        g_bIconAdded = r.added;
        g_bTrayHidden = r.hidden;
        s_calls.clear();
        s_answers = {r.answer};
        deliver(r.message, r.wParam, r.lParam);
        EXPECT_EQ(r.added_after, g_bIconAdded) << r.what;
        EXPECT_EQ(r.hidden_after, g_bTrayHidden) << r.what;
        if (r.command == NONE) {
            EXPECT_TRUE(s_calls.empty()) << r.what;
        } else {
            ASSERT_EQ(1u, s_calls.size()) << r.what;
            EXPECT_EQ(r.command, s_calls[0].command) << r.what;
            EXPECT_EQ(r.flags, s_calls[0].flags) << r.what;
        }
        EXPECT_EQ(ICON_FLAGS, g_nid.uFlags) << r.what << ": the balloon flag is taken back";
    }
}

TEST_F(IconStates, BalloonTextFollowsTheTableAndLParamZeroKeepsIt)
{
    EXPECT_EQ(NOTIFY_ICON_V3_SIZE, g_nid.cbSize);
    EXPECT_EQ(520u, NOTIFY_ICON_V3_SIZE);  // this 64-bit build; the 32-bit one asserts 504
    g_pUiStrings = g_chinese_strings;
    deliver(WM_UPGRADE_NOTIFY, 0, UPGRADE_NOTE_UPGRADING);
    EXPECT_STREQ(g_chinese_strings[UI_UPGRADING], g_nid.szInfo);
    EXPECT_STREQ("Upgrade Notice", g_nid.szInfoTitle);
    deliver(WM_UPGRADE_NOTIFY, 0, 0);
    EXPECT_STREQ(g_chinese_strings[UI_UPGRADING], g_nid.szInfo);
}

static bool icon_added() { return g_bIconAdded != 0; }

TEST_F(IconStates, RefusedShowRetriesThirtyTimesThenCountsAsAdded)
{
    s_answers.assign(80, FALSE);
    g_bIconAdded = 0;
    show_tray_icon();
    EXPECT_EQ(0, g_bIconAdded) << "the window thread is not blocked: show returns at once";
    pump_until(icon_added, 5000);
    EXPECT_EQ(1, g_bIconAdded);
    // Each of the 31 attempts: an add, and a modify in case the shell holds the icon.
    ASSERT_EQ(62u, s_calls.size());
    for (size_t i = 0; i < s_calls.size(); ++i)
        EXPECT_EQ(DWORD(i % 2 ? NIM_MODIFY : NIM_ADD), s_calls[i].command) << i;
    // No further attempt after the last one, and no further firing.
    size_t made = s_calls.size();
    Sleep(60);
    int firings = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        firings += msg.message == WM_TIMER && msg.wParam == ICON_RETRY_TIMER;
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(made, s_calls.size());
    EXPECT_EQ(0, firings);
}

TEST_F(IconStates, RetriesStopWhenTheShellAccepts)
{
    s_answers = {FALSE, FALSE, FALSE, TRUE};
    show_upgrade_balloon(UPGRADE_NOTE_OVER);
    pump_until(icon_added, 3000);
    ASSERT_EQ(4u, s_calls.size());
    EXPECT_EQ(ICON_FLAGS | NIF_INFO, s_calls[3].flags) << "a retried balloon still carries it";
    EXPECT_EQ(ICON_FLAGS, g_nid.uFlags);
}

static bool five_calls() { return s_calls.size() >= 5; }

TEST_F(IconStates, NewRequestRestartsAndHideStopsTheRetries)
{
    s_answers.assign(100, FALSE);
    show_tray_icon();
    pump_until(five_calls, 3000);
    deliver(g_uAddTray);  // restarts: 1 call now + 30 retries from here
    size_t before = s_calls.size();
    pump_until(icon_added, 5000);
    EXPECT_EQ(before + 2 * 30, s_calls.size());

    g_bIconAdded = 0;
    s_calls.clear();
    show_tray_icon();
    deliver(g_uHideTray);  // nothing to delete; the retries end
    Sleep(100);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    EXPECT_EQ(2u, s_calls.size());
    EXPECT_EQ(0, g_bIconAdded);
    EXPECT_EQ(1, g_bTrayHidden);
}

TEST_F(IconStates, StrategyWrittenSetsFlagsOnlyOnSuccess)
{
    struct {
        WPARAM strategy;
        LPARAM written;
        int auto_after, close_after;
    } cases[] = {{3, 1, 0, 1}, {2, 1, 1, 0}, {3, 0, 1, 0}, {2, 0, 1, 0}};
    g_bAutoUpgrade = 1;
    g_bCloseUpgrade = 0;
    for (const auto& c : cases) {
        deliver(WM_STRATEGY_WRITTEN, c.strategy, c.written);
        EXPECT_EQ(c.auto_after, g_bAutoUpgrade);
        EXPECT_EQ(c.close_after, g_bCloseUpgrade);
    }
}
