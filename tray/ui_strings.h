#pragma once
#include <windows.h>

// Entries of a UI string table (ten texts per language).
enum ui_entry {
    UI_HIDE_TRAY = 0,
    UI_ABOUT = 1,
    UI_EXIT = 2,
    UI_UPGRADE_OVER = 3,
    UI_UPGRADING = 4,
    UI_UPGRADED_RESTART = 5,
    UI_AUTO_UPGRADE = 6,
    UI_CLOSE_UPGRADE = 7,
    UI_ABOUT_CAPTION = 8,
    UI_ABOUT_TEXT = 9,
    UI_ENTRY_COUNT = 10
};

#define LCID_CHINESE_PRC 2052

extern const char* const g_english_strings[UI_ENTRY_COUNT];
extern const char* const g_chinese_strings[UI_ENTRY_COUNT];

struct ui_locale {
    const char* name;
    const char* const* table;
};
// "en-US", "cn-CN", then a pair of NULLs.
extern const ui_locale g_ui_locales[3];

// The table for a system default locale: Chinese for 2052, else English.
const char* const* choose_ui_strings(LCID system_locale);

// Texts of the entry (GBK): printed by "-i"/"-u", shown by "-s" failures.
extern const char TEXT_KEY_OPEN_FAILED[];
extern const char TEXT_DELETE_FAILED[];
extern const char TEXT_SET_FAILED[];
extern const char TEXT_THREAD_FAILED[];
extern const char TEXT_CREATE_WINDOW_FAILED[];
extern const char TEXT_MODULE_NAME_FAILED[];
