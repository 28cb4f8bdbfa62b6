#include "tray_menu.h"

#include "contract.h"
#include "modal_limits.h"
#include "tray_state.h"
#include "ui_strings.h"
#include "upgrade_strategy.h"

// One About box at a time; a further request brings it to the front.
static void show_about_box()
{
    static int s_about_open = 0;
    const char* caption = g_pUiStrings[UI_ABOUT_CAPTION];
    if (modal_request_for(s_about_open, 1) == MODAL_TO_FRONT) {
        bring_to_front(thread_window_captioned(caption));
        return;
    }
    ++s_about_open;
    MessageBoxA(nullptr, g_pUiStrings[UI_ABOUT_TEXT], caption, MB_ICONINFORMATION);
    --s_about_open;
}

void show_tray_menu(HWND window)
{
    read_upgrade_strategy();
    POINT cursor = {};
    GetCursorPos(&cursor);
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    const UINT auto_check = g_bAutoUpgrade == 1 ? MF_CHECKED : 0;
    const UINT close_check = g_bCloseUpgrade == 1 ? MF_CHECKED : 0;
    InsertMenuA(menu, static_cast<UINT>(-1), MF_BYPOSITION | auto_check, ID_UPGRADE_AUTO,
                g_pUiStrings[UI_AUTO_UPGRADE]);
    InsertMenuA(menu, static_cast<UINT>(-1), MF_BYPOSITION | close_check, ID_UPGRADE_CLOSE,
                g_pUiStrings[UI_CLOSE_UPGRADE]);
    InsertMenuA(menu, static_cast<UINT>(-1), MF_BYPOSITION, ID_TRAY_ABOUT, g_pUiStrings[UI_ABOUT]);
    SetForegroundWindow(window);
    TrackPopupMenu(menu, TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, window, nullptr);
    DestroyMenu(menu);
}

void on_tray_menu_command(UINT command)
{
    switch (command) {
    case ID_UPGRADE_AUTO:
        choose_upgrade_strategy(STRATEGY_AUTO);
        break;
    case ID_UPGRADE_CLOSE:
        choose_upgrade_strategy(STRATEGY_CLOSE);
        break;
    case ID_TRAY_ABOUT:
        show_about_box();
        break;
    default:
        break;
    }
}
