// Requests in bulk to the real tray program on the Wine desktop: its modal
// windows stay few and it goes on working; however many copies start at
// once, a session gets one tray.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contract.h"
#include "prompt_checks.h"
#include "prompt_ids.h"
#include "tray_run.h"
#include "test_support.h"
#include "tray_driver.h"
#include "ui_strings.h"

namespace {

const int kFlood = 3000;

class TrayLimits : public ::testing::Test {
protected:
    void SetUp() override
    {
        ts::set_manufacturer("QEMU");
        HWND tray = td::start_tray(false);
        ASSERT_TRUE(tray != nullptr) << "tray window";
        target_ = {tray, GetWindowThreadProcessId(tray, nullptr)};
    }
    void TearDown() override { td::end_tray_test(nullptr); }

    // Posts the request kFlood times, then a hibernate message, whose log
    // line shows that every request before it was handled. Then exactly
    // `bound` windows of that caption are open and the tray answers.
    std::vector<HWND> flood(UINT message, WPARAM wParam, const char* caption, size_t bound)
    {
        for (int i = 0; i < kFlood; ++i)
            EXPECT_TRUE(PostMessageA(target_.window, message, wParam, 0)) << i;
        PostMessageA(target_.window, WM_HIBERNATE_ASKED, 0, 0);
        EXPECT_TRUE(td::wait_log_lines(1, 60000)) << "the requests were not all handled";
        std::vector<HWND> open = td::windows_captioned(target_.thread, caption);
        EXPECT_EQ(bound, open.size());
        DWORD_PTR answer = 0;
        EXPECT_TRUE(SendMessageTimeoutA(target_.window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer));
        return open;
    }

    // Closes the windows (topmost first), which brings no new one; then the
    // program logs and shows and hides its icon as before.
    void close_and_expect_still_working(const char* caption, int button)
    {
        for (std::vector<HWND> open; !(open = td::windows_captioned(target_.thread, caption)).empty();) {
            PostMessageA(GetDlgItem(open.front(), button), BM_CLICK, 0, 0);
            ASSERT_TRUE(td::wait_gone(open.front())) << "still open";
        }
        Sleep(300);
        EXPECT_TRUE(td::windows_captioned(target_.thread, caption).empty()) << "one came back";
        EXPECT_EQ(1u, ts::processes_named(TRAY_IMAGE_NAME).size());
        expect_window_answers(target_, logs::tray_log_messages().size());
        tray_run::post_registered(target_.window, HIDE_TRAY_MESSAGE);
        EXPECT_TRUE(tray_run::wait_icon(target_.window, false, 5000));
        tray_run::post_registered(target_.window, ADD_TRAY_MESSAGE);
        EXPECT_TRUE(tray_run::wait_icon(target_.window, true, 5000));
    }

    prompt_target target_ = {};
};

TEST_F(TrayLimits, UpgradePromptsNestOnlyToTheBound)
{
    std::vector<HWND> open = flood(WM_SHOW_UPGRADE_PROMPT, 0, PROMPT_CAPTION, MAX_OPEN_PROMPTS);
    ASSERT_EQ(size_t(MAX_OPEN_PROMPTS), open.size());
    // An outer prompt raised over the innermost (as a click would): the next
    // request brings the innermost back to the front.
    auto topmost_becomes = [&](HWND prompt) {
        return ts::wait_until(
            [&] {
                std::vector<HWND> now = td::windows_captioned(target_.thread, PROMPT_CAPTION);
                return !now.empty() && now.front() == prompt;
            },
            5000);
    };
    SetWindowPos(open.back(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ASSERT_TRUE(topmost_becomes(open.back()));
    PostMessageA(target_.window, WM_SHOW_UPGRADE_PROMPT, 0, 0);
    EXPECT_TRUE(topmost_becomes(open.front()));
    EXPECT_EQ(open.size(), td::windows_captioned(target_.thread, PROMPT_CAPTION).size());
    close_and_expect_still_working(PROMPT_CAPTION, IDC_UPGRADE_LATER);
}

TEST_F(TrayLimits, OneAboutBox)
{
    flood(WM_COMMAND, ID_TRAY_ABOUT, g_english_strings[UI_ABOUT_CAPTION], 1);
    close_and_expect_still_working(g_english_strings[UI_ABOUT_CAPTION], IDOK);
}

// Queries that come while the warning is open are refused at once.
TEST_F(TrayLimits, OneSuspendWarning)
{
    flood(WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, SUSPEND_WARNING_CAPTION, 1);
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutA(target_.window, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0,
                                    SMTO_NORMAL, 2000, &answer));
    EXPECT_EQ(static_cast<DWORD_PTR>(BROADCAST_QUERY_DENY), answer);
    EXPECT_EQ(1u, td::windows_captioned(target_.thread, SUSPEND_WARNING_CAPTION).size());
    close_and_expect_still_working(SUSPEND_WARNING_CAPTION, IDOK);
}

// Five copies started together (their first threads released at once):
// one window, one watcher.
TEST(TrayStart, FiveAtOnceGiveOneTray)
{
    tray_run::stop_trays();
    ts::set_manufacturer("QEMU");
    logs::clear_tray_log();
    std::string command = "\"" + ts::sibling(TRAY_IMAGE_NAME) + "\" -s";
    std::vector<PROCESS_INFORMATION> copies;
    for (int i = 0; i < 5; ++i) {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                   nullptr, nullptr, &si, &pi))
            << GetLastError();
        copies.push_back(pi);
    }
    for (auto& copy : copies)
        ResumeThread(copy.hThread);
    auto ended = [&] {
        int count = 0;
        for (auto& copy : copies)
            count += WaitForSingleObject(copy.hProcess, 0) == WAIT_OBJECT_0;
        return count;
    };
    EXPECT_TRUE(ts::wait_until([&] { return ended() == 4; }, 20000)) << ended() << " ended";
    EXPECT_TRUE(td::wait_log_lines(1));
    Sleep(1000);
    EXPECT_EQ(1, tray_run::tray_window_count());
    EXPECT_EQ(std::vector<std::string>{LOG_TRAY_RUNNING}, logs::tray_log_messages());
    for (auto& copy : copies) {
        DWORD code = 0;
        if (GetExitCodeProcess(copy.hProcess, &code) && code != STILL_ACTIVE) {
            EXPECT_EQ(0u, code);
        }
        CloseHandle(copy.hThread);
        CloseHandle(copy.hProcess);
    }
    td::end_tray_test(nullptr);
}

} // namespace
