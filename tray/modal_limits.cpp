#include "modal_limits.h"

#include <string.h>

modal_request modal_request_for(int open, int bound)
{
    return open < bound ? MODAL_OPEN : MODAL_TO_FRONT;
}

void bring_to_front(HWND window)
{
    if (!window || window == GetForegroundWindow())
        return;
    // A topmost window (the prompt) is raised within the topmost windows.
    // HWND_TOP would do the same on Windows, but Wine puts an owned window
    // just above its owner then, that is below the other prompts.
    bool topmost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    SetWindowPos(window, topmost ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window);
}

namespace {

struct caption_search {
    const char* caption;
    HWND found;
};

BOOL CALLBACK match_caption(HWND window, LPARAM param)
{
    caption_search* search = reinterpret_cast<caption_search*>(param);
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    if (!IsWindowVisible(window) || strcmp(text, search->caption) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

HWND thread_window_captioned(const char* caption)
{
    caption_search search = {caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), match_caption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
