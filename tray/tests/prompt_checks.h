#pragma once
// Checks of the upgrade prompt against a window that shows it on message
// 1040: the test program's own host window or the real tray window.
#include <windows.h>

#include "upgrade_prompt.h"

#include <vector>

struct prompt_target {
    HWND window;   // receives 1040
    DWORD thread;  // the window's thread, which owns the prompts
};

enum close_way { CLOSE_INSTALL, CLOSE_LATER, CLOSE_ESCAPE, CLOSE_BOX };

// Posts 1040 and waits for one more prompt than `open` holds; checks its
// caption, texts, corner and focus. nullptr when no prompt came.
HWND open_prompt(const prompt_target& target, const prompt_texts& texts,
                 const std::vector<HWND>& open = {});
// Ends the prompt the way a user would and waits until it is gone.
void close_prompt(HWND prompt, close_way way);
// The log line a hibernate message writes appears while a prompt is open.
void expect_window_answers(const prompt_target& target, size_t log_lines_before);
// Checks the dialog template 130 (language 0x804) of a module.
void expect_prompt_template(HMODULE module);
