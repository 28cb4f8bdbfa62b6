#include "upgrade_prompt.h"

#include "contract.h"
#include "modal_limits.h"
#include "prompt_ids.h"
#include "tray_log.h"
#include "tray_state.h"
#include "ui_strings.h"

// The prompts open now, each in the modal loop of the one before it, the
// innermost last; a slot is filled when its dialog initialises.
static HWND s_open_prompts[MAX_OPEN_PROMPTS];
static int s_open_prompt_count = 0;

prompt_texts prompt_texts_for(LCID system_locale)
{
    if (system_locale == LCID_CHINESE_PRC)
        return {PROMPT_INSTALL_ZH, PROMPT_LATER_ZH, PROMPT_QUESTION_ZH};
    return {PROMPT_INSTALL_EN, PROMPT_LATER_EN, PROMPT_QUESTION_EN};
}

RECT prompt_work_area(bool work_area_read, const RECT& work_area, int screen_width,
                      int screen_height)
{
    if (work_area_read)
        return work_area;
    RECT screen = {0, 0, screen_width, screen_height};
    return screen;
}

POINT prompt_origin(const RECT& work_area, int width, int height)
{
    POINT origin = {work_area.right - width, work_area.bottom - height};
    return origin;
}

static bool read_system_work_area(RECT* area)
{
    return SystemParametersInfoA(SPI_GETWORKAREA, 0, area, SPIF_SENDCHANGE) != FALSE;
}

work_area_read_fn read_work_area = read_system_work_area;

static void place_and_slide(HWND dialog)
{
    RECT area = {};
    bool read = read_work_area(&area);
    if (!read)
        write_tray_log(LOG_WORK_AREA_FAILED);
    area = prompt_work_area(read, area, GetSystemMetrics(SM_CXSCREEN),
                            GetSystemMetrics(SM_CYSCREEN));

    RECT window = {};
    GetWindowRect(dialog, &window);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    POINT origin = prompt_origin(area, width, height);
    // Still hidden here: AnimateWindow refuses to show a window that is
    // already visible. Should the slide fail, the dialog manager shows the
    // prompt in place after WM_INITDIALOG (the template is WS_VISIBLE).
    SetWindowPos(dialog, HWND_TOP, origin.x, origin.y, width, height, SWP_NOACTIVATE);
    AnimateWindow(dialog, 1000, AW_SLIDE | AW_VER_NEGATIVE);
}

INT_PTR CALLBACK upgrade_prompt_proc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        if (s_open_prompt_count > 0 && !s_open_prompts[s_open_prompt_count - 1])
            s_open_prompts[s_open_prompt_count - 1] = dialog;
        prompt_texts texts = prompt_texts_for(GetSystemDefaultLCID());
        SetWindowTextA(GetDlgItem(dialog, IDC_UPGRADE_INSTALL), texts.install);
        SetWindowTextA(GetDlgItem(dialog, IDC_UPGRADE_LATER), texts.later);
        SetWindowTextA(GetDlgItem(dialog, IDC_UPGRADE_TEXT), texts.question);
        place_and_slide(dialog);
        return TRUE;  // the dialog manager focuses the first tab stop, "Install"
    }
    case WM_COMMAND:
    case WM_CLOSE:
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

INT_PTR show_upgrade_prompt(HWND owner)
{
    if (modal_request_for(s_open_prompt_count, MAX_OPEN_PROMPTS) == MODAL_TO_FRONT) {
        bring_to_front(s_open_prompts[s_open_prompt_count - 1]);
        return -1;
    }
    s_open_prompts[s_open_prompt_count++] = nullptr;
    INT_PTR result = DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_UPGRADE_PROMPT), owner,
                                     upgrade_prompt_proc, 0);
    --s_open_prompt_count;
    return result;
}
