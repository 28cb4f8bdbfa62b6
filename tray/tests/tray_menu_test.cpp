// The tray window's popup menu and About box, read from inside the process
// that runs the window code (Wine lets only the owning process read a menu).
// The Chinese run repeats these tests in a copy of this program started
// under the Chinese locale.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "contract.h"
#include "desktop.h"
#include "logs.h"
#include "tray_run.h"
#include "test_support.h"
#include "tray_app.h"
#include "tray_icon.h"
#include "tray_state.h"
#include "ui_strings.h"
#include "upgrade_strategy.h"

namespace {

bool chinese() { return GetSystemDefaultLCID() == LCID_CHINESE_PRC; }
const char* suffix() { return chinese() ? "_zh" : "_en"; }

struct menu_item {
    UINT id;
    std::wstring text;
    bool checked;
};

// Runs `inspect` on a helper thread once the popup menu is open; the window
// thread meanwhile runs the menu's own loop. Bounded: the menu is closed
// after 15 s whatever happens.
bool with_open_menu(const std::function<void(HWND menu_window, HMENU menu)>& inspect)
{
    std::atomic<bool> inspected(false);
    std::thread helper([&] {
        HWND menu_window = nullptr;
        ts::wait_until([&] {
            menu_window = FindWindowA("#32768", nullptr);
            return menu_window && IsWindowVisible(menu_window);
        }, 10000);
        if (menu_window) {
            DWORD_PTR menu = 0;
            SendMessageTimeoutA(menu_window, 0x01E1 /* MN_GETHMENU */, 0, 0, SMTO_ABORTIFHUNG, 2000, &menu);
            if (menu) {
                inspect(menu_window, reinterpret_cast<HMENU>(menu));
                inspected = true;
            }
        }
    });
    PostMessageA(g_hTrayWnd, WM_TRAYICON, 0, WM_RBUTTONDOWN);
    DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < 15000) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (inspected && !IsWindowVisible(FindWindowA("#32768", nullptr)))
            break;
        Sleep(10);
    }
    helper.join();
    // The chosen command arrives after the menu closed.
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    return inspected;
}

std::vector<menu_item> read_menu(HMENU menu)
{
    std::vector<menu_item> items;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[128];
        wmemset(text, L'#', 128);
        GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
        UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        items.push_back({GetMenuItemID(menu, i), text, (state & MF_CHECKED) != 0});
    }
    return items;
}

// Keys to the open menu: `downs` times down, then Enter (0: Escape).
void choose(HWND menu_window, int downs)
{
    if (downs == 0) {
        PostMessageA(menu_window, WM_KEYDOWN, VK_ESCAPE, 0);
        return;
    }
    for (int i = 0; i < downs; ++i)
        PostMessageA(menu_window, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu_window, WM_KEYDOWN, VK_RETURN, 0);
}

std::string stored_strategy()
{
    std::string bytes;
    DWORD type = 0;
    if (!ts::reg_get(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, &bytes, &type))
        return "(absent)";
    return (type == REG_SZ ? "REG_SZ:" : "other:") + bytes;
}

class MenuInProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        tray_run::stop_trays();
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
        ts::reg_set_dword(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "scratch", 0);
        g_hInstance = GetModuleHandleA(nullptr);
        g_uAddTray = RegisterWindowMessageA(ADD_TRAY_MESSAGE);
        g_uHideTray = RegisterWindowMessageA(HIDE_TRAY_MESSAGE);
        g_bAutoUpgrade = 0;
        g_bCloseUpgrade = 0;
        g_hTrayWnd = create_tray_window();
        ASSERT_NE(nullptr, g_hTrayWnd);
        g_pUiStrings = choose_ui_strings(GetSystemDefaultLCID());
        setup_tray_icon();
        show_tray_icon();
        SetCursorPos(900, 740);
    }
    void TearDown() override
    {
        HWND w = g_hTrayWnd;
        g_hTrayWnd = nullptr;
        DestroyWindow(w);  // removes the icon, posts WM_QUIT
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    }
};

TEST_F(MenuInProcess, ItemsChecksAndChoicesFollowTheRegistry)
{
    const wchar_t* en[] = {L"automatic upgrade", L"close upgrade", L"About"};
    const wchar_t* zh[] = {L"自动升级", L"关闭升级", L"关于"};
    const wchar_t** texts = chinese() ? zh : en;
    const UINT ids[] = {ID_UPGRADE_AUTO, ID_UPGRADE_CLOSE, ID_TRAY_ABOUT};

    ts::reg_set_sz(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, "3");
    std::vector<menu_item> items;
    bool shot = false;
    ASSERT_TRUE(with_open_menu([&](HWND menu_window, HMENU menu) {
        items = read_menu(menu);
        shot = ts::screenshot((std::string("menu") + suffix()).c_str());
        choose(menu_window, 1);  // automatic upgrade
    }));
    EXPECT_TRUE(shot);
    ASSERT_EQ(3u, items.size());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ids[i], items[i].id) << i;
        EXPECT_EQ(std::wstring(texts[i]), items[i].text) << i;
    }
    EXPECT_FALSE(items[0].checked);
    EXPECT_TRUE(items[1].checked);
    EXPECT_FALSE(items[2].checked);
    EXPECT_EQ(std::string("REG_SZ:2", 8) + '\0', stored_strategy());
    EXPECT_EQ(1, g_bAutoUpgrade);
    EXPECT_EQ(0, g_bCloseUpgrade);

    // Reopened: the new check mark; choosing "close upgrade" writes "3".
    ASSERT_TRUE(with_open_menu([&](HWND menu_window, HMENU menu) {
        items = read_menu(menu);
        choose(menu_window, 2);
    }));
    ASSERT_EQ(3u, items.size());
    EXPECT_TRUE(items[0].checked);
    EXPECT_FALSE(items[1].checked);
    EXPECT_EQ(std::string("REG_SZ:3", 8) + '\0', stored_strategy());
    EXPECT_EQ(0, g_bAutoUpgrade);
    EXPECT_EQ(1, g_bCloseUpgrade);

    // Dismissed: nothing written.
    ts::reg_set_sz(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, "1");
    ASSERT_TRUE(with_open_menu([&](HWND menu_window, HMENU menu) {
        items = read_menu(menu);
        choose(menu_window, 0);
    }));
    EXPECT_TRUE(items[1].checked) << "\"1\" keeps the marks";
    EXPECT_EQ(std::string("REG_SZ:1") + '\0', stored_strategy());
}

TEST_F(MenuInProcess, KeyAbsentShowsNoMarkAndChoicesChangeNothing)
{
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    logs::clear_tray_log();
    std::vector<menu_item> items;
    ASSERT_TRUE(with_open_menu([&](HWND menu_window, HMENU menu) {
        items = read_menu(menu);
        choose(menu_window, 2);  // close upgrade
    }));
    ASSERT_EQ(3u, items.size());
    EXPECT_FALSE(items[0].checked);
    EXPECT_FALSE(items[1].checked);
    EXPECT_EQ("(absent)", stored_strategy());
    EXPECT_EQ(0, g_bAutoUpgrade);
    EXPECT_EQ(0, g_bCloseUpgrade);
    EXPECT_EQ(std::vector<std::string>{"RegOpenKeyExA \"HKLM\\" PRODUCT_KEY "\" failed (2)"},
              logs::tray_log_messages());
}

struct box_search {
    std::wstring text;
};

BOOL CALLBACK longest_static(HWND child, LPARAM data)
{
    char name[32] = {};
    GetClassNameA(child, name, sizeof name);
    if (_stricmp(name, "Static") == 0) {
        wchar_t text[1024] = {};
        GetWindowTextW(child, text, 1024);
        auto* search = reinterpret_cast<box_search*>(data);
        if (wcslen(text) > search->text.size())
            search->text = text;
    }
    return TRUE;
}

TEST_F(MenuInProcess, AboutBoxCaptionAndText)
{
    const std::wstring caption = chinese() ? L"关于 ZRV Tools" : L"About ZRV Tools";
    const std::wstring last = chinese() ? L"ZRV Ondrix 正在运行。" : L"ZRV Ondrix Is Running.";
    std::atomic<bool> closed(false);
    box_search found;
    bool shot = false;
    std::thread helper([&] {
        HWND box = nullptr;
        ts::wait_until([&] { return (box = FindWindowW(nullptr, caption.c_str())) != nullptr; }, 10000);
        if (box) {
            EnumChildWindows(box, longest_static, reinterpret_cast<LPARAM>(&found));
            shot = ts::screenshot((std::string("about") + suffix()).c_str());
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        closed = true;
    });
    PostMessageA(g_hTrayWnd, WM_COMMAND, ID_TRAY_ABOUT, 0);
    DWORD start = GetTickCount();
    MSG msg;
    while (!closed && GetTickCount() - start < 20000) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(10);
    }
    helper.join();
    EXPECT_TRUE(shot);
    ASSERT_FALSE(found.text.empty()) << "no box captioned as expected";
    EXPECT_EQ(0u, found.text.find(L"ZRV Ondrix For Windows 2.5\n\n"));
    EXPECT_EQ(found.text.size() - last.size(), found.text.rfind(L"\n\n\n" + last) + 3);
}

// The same tests in a copy of this program under the Chinese locale, which
// Wine takes only from the Unix environment of a program it starts.
TEST(MenuChinese, SameTestsUnderChineseLocale)
{
    if (chinese())
        GTEST_SKIP() << "already the Chinese run";
    std::string result = ts::bin_dir() + "tray_menu_zh.result";
    ts::remove_file(result);
    std::string exe = ts::unix_path(ts::sibling("tray_menu_tests.exe"));
    std::string unix_result = ts::unix_path(result);
    ASSERT_FALSE(exe.empty());
    ASSERT_FALSE(ts::wine_loader().empty()) << "GT_WINE64 / GT_WINE32 not set";
    ts::start_unix(std::string(ts::CHINESE_LOCALE) + " '" + ts::wine_loader() + "' '" + exe +
                      "' --gtest_filter=MenuInProcess.* > '" + unix_result + ".log' 2>&1; echo $? > '" +
                      unix_result + "'");
    ASSERT_TRUE(ts::wait_until([&] { return !ts::read_file(result).empty(); }, 90000));
    EXPECT_EQ("0\n", ts::read_file(result)) << ts::read_file(result + ".log");
}

} // namespace
