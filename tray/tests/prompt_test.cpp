// The upgrade prompt inside the test program: its decisions, its template
// and the dialog itself, shown by a window of the test program's own.
#include "contract.h"
#include "host_window.h"
#include "modal_limits.h"
#include "prompt_checks.h"
#include "prompt_ids.h"
#include "test_support.h"
#include "tray_driver.h"
#include "upgrade_prompt.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const prompt_texts kEnglish = {PROMPT_INSTALL_EN, PROMPT_LATER_EN, PROMPT_QUESTION_EN};

TEST(PromptDecisions, TextsFollowTheSystemLocale)
{
    struct {
        LCID locale;
        const char* install;
        const char* question;
    } rows[] = {
        {2052, "\xc1\xa2\xbc\xb4\xc9\xfd\xbc\xb6",
         "ZRV Tools\xd3\xd0\xd0\xc2\xb5\xc4\xb0\xe6\xb1\xbe\xbf\xc9\xd3\xc3\xa3\xac\xca\xc7\xb7"
         "\xf1\xbd\xf8\xd0\xd0\xc9\xfd\xbc\xb6\xa3\xbf"},
        {1033, "Install",
         "ZRV Tools new version is available, would you like to update immediately?"},
        {1028, "Install", PROMPT_QUESTION_EN},   // Chinese (Taiwan) stays English
        {4100, "Install", PROMPT_QUESTION_EN},   // Chinese (Singapore) too
        {0, "Install", PROMPT_QUESTION_EN},
    };
    for (const auto& row : rows) {
        prompt_texts texts = prompt_texts_for(row.locale);
        EXPECT_STREQ(row.install, texts.install) << row.locale;
        EXPECT_STREQ(row.question, texts.question) << row.locale;
        EXPECT_STREQ(row.locale == 2052 ? "\xcd\xc6\xb3\xd9\xcd\xa8\xd6\xaa" : "Ask me later",
                     texts.later);
    }
}

TEST(PromptDecisions, BottomRightOfTheAreaOrTheScreen)
{
    struct {
        bool read;
        RECT area;
        int width, height;
        POINT origin;
    } rows[] = {
        {true, {0, 0, 1024, 738}, 357, 118, {667, 620}},     // taskbar at the bottom
        {true, {0, 30, 1024, 768}, 357, 118, {667, 650}},    // taskbar at the top
        {true, {0, 0, 960, 768}, 357, 118, {603, 650}},      // taskbar at the right
        {true, {64, 0, 1024, 768}, 357, 118, {667, 650}},    // taskbar at the left
        {false, {0, 0, 0, 0}, 357, 118, {667, 650}},         // unreadable: the screen
        {false, {5, 5, 10, 10}, 357, 118, {667, 650}},
    };
    for (const auto& row : rows) {
        RECT area = prompt_work_area(row.read, row.area, 1024, 768);
        POINT origin = prompt_origin(area, row.width, row.height);
        EXPECT_EQ(row.origin.x, origin.x) << row.area.right;
        EXPECT_EQ(row.origin.y, origin.y) << row.area.top;
    }
}

TEST(PromptDecisions, AnotherWindowOnlyBelowTheBound)
{
    struct {
        int open, bound;
        modal_request request;
    } rows[] = {
        {0, MAX_OPEN_PROMPTS, MODAL_OPEN},
        {MAX_OPEN_PROMPTS - 1, MAX_OPEN_PROMPTS, MODAL_OPEN},   // a second over the first
        {MAX_OPEN_PROMPTS, MAX_OPEN_PROMPTS, MODAL_TO_FRONT},
        {0, 1, MODAL_OPEN},                                      // About box, suspend warning
        {1, 1, MODAL_TO_FRONT},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.request, modal_request_for(row.open, row.bound)) << row.open << "/" << row.bound;
    EXPECT_GE(MAX_OPEN_PROMPTS, 2) << "a second prompt over the first is kept";
}

TEST(PromptTemplate, LinkedIntoTheProgram)
{
    expect_prompt_template(GetModuleHandleA(nullptr));
}

class PromptDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        logs::clear_tray_log();
        clear_prompt_results();
        ASSERT_TRUE(start_host(&host_));
        target_ = {host_.window, host_.thread};
    }
    void TearDown() override
    {
        for (HWND prompt : td::windows_captioned(host_.thread, PROMPT_CAPTION))
            PostMessageA(prompt, WM_COMMAND, IDCANCEL, 0);
        stop_host(&host_);
        read_work_area = saved_read_;
    }
    static bool unreadable_work_area(RECT*) { return false; }
    work_area_read_fn saved_read_ = read_work_area;
    host_window host_ = {};
    prompt_target target_ = {};
};

TEST_F(PromptDialog, EachWayOfClosingGivesItsResultAndNothingElse)
{
    struct {
        close_way way;
        INT_PTR result;
    } rows[] = {
        {CLOSE_INSTALL, IDC_UPGRADE_INSTALL},
        {CLOSE_LATER, IDC_UPGRADE_LATER},
        {CLOSE_ESCAPE, IDCANCEL},
        {CLOSE_BOX, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.result);
        clear_prompt_results();
        HWND prompt = open_prompt(target_, kEnglish);
        ASSERT_TRUE(prompt != nullptr);
        close_prompt(prompt, row.way);
        ASSERT_TRUE(ts::wait_until([] { return !prompt_results().empty(); }, 5000));
        EXPECT_EQ(std::vector<INT_PTR>{row.result}, prompt_results());
        EXPECT_TRUE(IsWindowEnabled(host_.window));
        EXPECT_TRUE(td::windows_captioned(host_.thread, PROMPT_CAPTION).empty());
        EXPECT_TRUE(logs::tray_log_messages().empty());
    }
}

TEST_F(PromptDialog, SecondPromptOverTheFirstClosesFirst)
{
    HWND first = open_prompt(target_, kEnglish);
    ASSERT_TRUE(first != nullptr);
    HWND second = open_prompt(target_, kEnglish, {first});
    ASSERT_TRUE(second != nullptr);

    close_prompt(second, CLOSE_LATER);
    EXPECT_TRUE(IsWindowVisible(first));
    ASSERT_TRUE(ts::wait_until([] { return !prompt_results().empty(); }, 5000));
    Sleep(100);
    EXPECT_EQ(std::vector<INT_PTR>{IDC_UPGRADE_LATER}, prompt_results())
        << "the first prompt's call is still waiting";
    close_prompt(first, CLOSE_INSTALL);
    ASSERT_TRUE(ts::wait_until([] { return prompt_results().size() == 2; }, 5000));
    EXPECT_EQ((std::vector<INT_PTR>{IDC_UPGRADE_LATER, IDC_UPGRADE_INSTALL}), prompt_results());
}

TEST_F(PromptDialog, WindowKeepsHandlingMessagesWhileOpen)
{
    HWND prompt = open_prompt(target_, kEnglish);
    ASSERT_TRUE(prompt != nullptr);
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutA(host_.window, HOST_PING, 0, 0, SMTO_NORMAL, 5000, &answer));
    EXPECT_EQ(static_cast<DWORD_PTR>(HOST_PING_ANSWER), answer);
    expect_window_answers(target_, 0);
    EXPECT_TRUE(IsWindowVisible(prompt));
    close_prompt(prompt, CLOSE_INSTALL);
}

// Wine keeps a set work area within the process that set it, so this runs
// here and not against the real tray program.
TEST_F(PromptDialog, WorkAreaWithTheTaskbarElsewhere)
{
    RECT saved = td::work_area();
    const RECT areas[] = {{0, 0, 900, 768}, {0, 40, 1024, 768}, {60, 30, 980, 700}};
    for (RECT area : areas) {
        SCOPED_TRACE(area.right);
        ASSERT_TRUE(SystemParametersInfoA(SPI_SETWORKAREA, 0, &area, 0));
        HWND prompt = open_prompt(target_, kEnglish);
        ASSERT_TRUE(prompt != nullptr);
        close_prompt(prompt, CLOSE_LATER);
    }
    SystemParametersInfoA(SPI_SETWORKAREA, 0, &saved, 0);
}

TEST_F(PromptDialog, UnreadableWorkAreaIsLoggedAndTheScreenCornerUsed)
{
    read_work_area = unreadable_work_area;
    EXPECT_TRUE(PostMessageA(host_.window, WM_SHOW_UPGRADE_PROMPT, 0, 0));
    std::vector<HWND> prompts = td::wait_windows(host_.thread, PROMPT_CAPTION, 1);
    ASSERT_EQ(1u, prompts.size());
    RECT placed = {};
    GetWindowRect(prompts[0], &placed);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), placed.right);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), placed.bottom);
    close_prompt(prompts[0], CLOSE_LATER);

    EXPECT_EQ(std::vector<std::string>{LOG_WORK_AREA_FAILED}, logs::tray_log_messages());
    std::string raw = ts::read_file(logs::tray_log_path());
    ASSERT_GT(raw.size(), 22u);
    EXPECT_EQ(" : SystemParametersInfo get work area failed!\r\n\r\n", raw.substr(19));
}

} // namespace
