// The upgrade prompt of the real tray program on the Wine desktop, driven
// from outside through the tray window's message 1040.
#include "contract.h"
#include "desktop.h"
#include "prompt_checks.h"
#include "prompt_ids.h"
#include "tray_run.h"
#include "test_support.h"
#include "tray_driver.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const prompt_texts kEnglish = {"Install", "Ask me later",
                               "ZRV Tools new version is available, would you like to update "
                               "immediately?"};
const prompt_texts kChinese = {
    "\xc1\xa2\xbc\xb4\xc9\xfd\xbc\xb6", "\xcd\xc6\xb3\xd9\xcd\xa8\xd6\xaa",
    "ZRV Tools\xd3\xd0\xd0\xc2\xb5\xc4\xb0\xe6\xb1\xbe\xbf\xc9\xd3\xc3\xa3\xac\xca\xc7\xb7\xf1"
    "\xbd\xf8\xd0\xd0\xc9\xfd\xbc\xb6\xa3\xbf"};

class TrayPrompt : public ::testing::Test {
protected:
    void start(bool chinese)
    {
        HWND tray = td::start_tray(chinese);
        ASSERT_TRUE(tray != nullptr) << "tray window";
        target_ = {tray, GetWindowThreadProcessId(tray, nullptr)};
    }
    void TearDown() override
    {
        tray_run::stop_trays();
    }
    // The tray is unchanged: still there, enabled, no prompt, nothing logged.
    void expect_nothing_else()
    {
        EXPECT_TRUE(IsWindow(target_.window));
        EXPECT_TRUE(IsWindowEnabled(target_.window));
        EXPECT_TRUE(td::windows_captioned(target_.thread, PROMPT_CAPTION).empty());
        EXPECT_EQ(1u, ts::processes_named(TRAY_IMAGE_NAME).size());
        EXPECT_TRUE(logs::tray_log_messages().empty());
    }
    prompt_target target_ = {};
};

TEST_F(TrayPrompt, TemplateInTheProgram)
{
    HMODULE tray = LoadLibraryExA(ts::sibling(TRAY_IMAGE_NAME).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(tray != nullptr) << GetLastError();
    expect_prompt_template(tray);
    FreeLibrary(tray);
}

TEST_F(TrayPrompt, EnglishPromptEndsEachWay)
{
    start(false);
    const close_way ways[] = {CLOSE_INSTALL, CLOSE_LATER, CLOSE_ESCAPE, CLOSE_BOX};
    for (close_way way : ways) {
        SCOPED_TRACE(way);
        HWND prompt = open_prompt(target_, kEnglish);
        ASSERT_TRUE(prompt != nullptr);
        EXPECT_EQ(PROMPT_CAPTION, td::window_text(prompt));
        if (way == CLOSE_INSTALL) {
            EXPECT_TRUE(ts::screenshot("prompt-english"));
        }
        close_prompt(prompt, way);
        expect_nothing_else();
    }
}

TEST_F(TrayPrompt, ChinesePromptKeepsItsEnglishCaption)
{
    start(true);
    HWND prompt = open_prompt(target_, kChinese);
    ASSERT_TRUE(prompt != nullptr);
    EXPECT_EQ(PROMPT_CAPTION, td::window_text(prompt));
    EXPECT_TRUE(ts::screenshot("prompt-chinese"));
    close_prompt(prompt, CLOSE_LATER);
    expect_nothing_else();
}

TEST_F(TrayPrompt, SecondPromptWhileOneIsOpen)
{
    start(false);
    HWND first = open_prompt(target_, kEnglish);
    ASSERT_TRUE(first != nullptr);
    HWND second = open_prompt(target_, kEnglish, {first});
    ASSERT_TRUE(second != nullptr);
    close_prompt(second, CLOSE_INSTALL);
    EXPECT_TRUE(IsWindowVisible(first));
    close_prompt(first, CLOSE_ESCAPE);
    expect_nothing_else();
}

TEST_F(TrayPrompt, TrayHandlesMessagesWhileOpen)
{
    start(false);
    HWND prompt = open_prompt(target_, kEnglish);
    ASSERT_TRUE(prompt != nullptr);
    expect_window_answers(target_, 0);
    EXPECT_TRUE(IsWindowVisible(prompt));
    close_prompt(prompt, CLOSE_INSTALL);
}

} // namespace
