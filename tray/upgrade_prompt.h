#pragma once
#include <windows.h>

// Prompts open at once, each over the one before. Every prompt nests a
// modal loop (and its stack) in the one before; a second over the first is
// wanted, a third leaves room for a request during the second.
const int MAX_OPEN_PROMPTS = 3;

// Shows the modal upgrade prompt owned by `owner`; returns when it closes
// with the prompt's result (1005, 1006, IDCANCEL or 0). With
// MAX_OPEN_PROMPTS open already, brings the topmost to the front instead
// and gives -1 at once.
INT_PTR show_upgrade_prompt(HWND owner);
INT_PTR CALLBACK upgrade_prompt_proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

struct prompt_texts {
    const char* install;
    const char* later;
    const char* question;
};
// Chinese for the system default locale 2052, English for any other.
prompt_texts prompt_texts_for(LCID system_locale);
// The work area when it was read, else the primary screen.
RECT prompt_work_area(bool work_area_read, const RECT& work_area, int screen_width,
                      int screen_height);
// Top-left corner that puts a window of that size at the area's bottom right.
POINT prompt_origin(const RECT& work_area, int width, int height);

// Reads the work area the prompt is placed in (SystemParametersInfoA's);
// false when it cannot be read.
typedef bool (*work_area_read_fn)(RECT* area);
extern work_area_read_fn read_work_area;

// Logged when the work area cannot be read.
#define LOG_WORK_AREA_FAILED "SystemParametersInfo get work area failed!\n"
