#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

#include "logs.h"
#include "contract.h"
#include "desktop.h"
#include "tray_run.h"
#include "test_support.h"
#include "tray_seams.h"
#include "ui_strings.h"

namespace {

std::wstring wide(const char* text)
{
    wchar_t buffer[512] = {};
    MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, 511);
    return buffer;
}

bool log_has(const char* message)
{
    auto log = logs::tray_log_messages();
    return std::find(log.begin(), log.end(), message) != log.end();
}

// An outside writer, as the upgrader is: reg.exe in a process of its own.
bool write_state_with_reg_exe(const char* text)
{
    std::string command = std::string("reg add \"HKLM\\") + UPGRADE_KEY + "\" /v " +
                          UPGRADE_STATE_VALUE + " /t REG_SZ /d " + text + " /f";
    ts::run_result r = ts::run(command, 15000);
    return r.finished && r.exit_code == 0;
}

class TrayBackground : public ::testing::Test {
protected:
    void SetUp() override
    {
        tray_run::stop_trays();
        tray_run::dismiss_balloons();
        logs::clear_tray_log();
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, UPGRADE_KEY);
        ts::reg_delete_value(HKEY_CURRENT_USER, AUTOPLAY_HANDLERS_KEY, DISABLE_AUTOPLAY_VALUE);
    }
    void TearDown() override
    {
        tray_run::stop_trays();
        tray_run::dismiss_balloons();
        if (tray)
            CloseHandle(tray);
        ts::remove_file(logs::tray_log_path());
    }
    HANDLE tray = nullptr;
    HWND window = nullptr;
};

TEST_F(TrayBackground, RunsAfterTheAutoplayPolicyAndShowsTheRestartBalloonForState2)
{
    tray = tray_run::start_tray({TEST_IDLE_PERIOD_ENV "=200"}, &window);
    ASSERT_TRUE(tray && window);
    ASSERT_TRUE(ts::wait_until([] { return log_has(LOG_TRAY_RUNNING); }, 10000));
    std::string autoplay;
    EXPECT_TRUE(ts::reg_get(HKEY_CURRENT_USER, AUTOPLAY_HANDLERS_KEY, DISABLE_AUTOPLAY_VALUE, &autoplay));
    EXPECT_EQ(autoplay, std::string("\1\0\0\0", 4));
    Sleep(300);

    ASSERT_TRUE(write_state_with_reg_exe("2"));
    std::wstring restart = wide(g_english_strings[UI_UPGRADED_RESTART]);
    EXPECT_TRUE(tray_run::wait_balloon(restart, 5000)) << tray_run::utf8(tray_run::balloon_text());
    EXPECT_TRUE(ts::screenshot("upgradestate_2_restart_balloon"));

    ASSERT_TRUE(write_state_with_reg_exe("6"));
    EXPECT_TRUE(ts::wait_until(
        [] {
            std::string bytes;
            return ts::reg_get(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, &bytes) &&
                   bytes == std::string("3", 2);
        },
        5000));
    EXPECT_EQ(logs::tray_log_messages(), std::vector<std::string>{LOG_TRAY_RUNNING});
}

TEST_F(TrayBackground, MouseInputOnTheDesktopIsPublishedAsActive)
{
    tray = tray_run::start_tray({TEST_IDLE_PERIOD_ENV "=200"}, &window);
    ASSERT_TRUE(tray && window);
    ASSERT_TRUE(ts::wait_until(
        [] { return tray_run::take_idle_block().size() == IDLE_BLOCK_SIZE; }, 5000));
    Sleep(600);
    tray_run::take_idle_block();   // cleared
    Sleep(600);
    EXPECT_EQ(tray_run::take_idle_block(), std::string(IDLE_BLOCK_SIZE, '\0'))
        << "rewritten without input";

    const std::string active = std::string(IDLE_ACTIVE_TEXT) + std::string(IDLE_BLOCK_SIZE - 6, '\0');
    int x = 300;
    std::string seen;
    bool published = ts::wait_until(
        [&] {
            ts::start_unix("xdotool mousemove " + std::to_string(x += 7) + " 400");
            Sleep(300);
            seen = tray_run::take_idle_block();
            return seen == active;
        },
        8000);
    EXPECT_TRUE(published) << "block starts with \"" << seen.c_str() << "\"";
}

} // namespace
