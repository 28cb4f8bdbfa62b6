#include "tray_window.h"

#include "contract.h"
#include "session_end.h"
#include "tray_icon.h"
#include "tray_menu.h"
#include "tray_messages.h"
#include "tray_state.h"
#include "upgrade_prompt.h"
#include "upgrade_strategy.h"

// Registered message ids are never 0; an id not registered yet matches nothing.
static bool is_registered(UINT message, UINT id)
{
    return id != 0 && message == id;
}

static void hide_tray()
{
    g_bTrayHidden = 1;
    remove_tray_icon();
}

static void on_icon_callback(HWND window, LPARAM event)
{
    if (event == WM_RBUTTONDOWN)
        show_tray_menu(window);
    else if ((event == NIN_BALLOONTIMEOUT || event == NIN_BALLOONUSERCLICK) && g_bTrayHidden)
        remove_tray_icon();
}

static void on_strategy_written(WPARAM strategy, LPARAM written)
{
    if (written == 1)
        apply_strategy_marks(strategy_marks_written(static_cast<int>(strategy)));
    show_tray_icon();
}

LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_POWERBROADCAST) {
        LRESULT result = 0;
        if (on_power_broadcast(window, wParam, &result))
            return result;
    } else if (message == WM_TRAYICON) {
        on_icon_callback(window, lParam);
    } else if (message == WM_UPGRADE_NOTIFY) {
        show_upgrade_balloon(lParam);
    } else if (is_registered(message, g_uAddTray)) {
        g_bTrayHidden = 0;
        show_tray_icon();
    } else if (is_registered(message, g_uHideTray)) {
        hide_tray();
    } else if (is_registered(message, g_uTaskbarCreated)) {
        g_bIconAdded = 0;
        show_tray_icon();
    } else if (message == WM_COMMAND) {
        if (LOWORD(wParam) == ID_TRAY_HIDE)
            hide_tray();
        else
            on_tray_menu_command(LOWORD(wParam));
    } else if (message == WM_CLOSE) {
        if (IsWindowVisible(window)) {
            ShowWindow(window, SW_HIDE);
            return 0;
        }
    } else if (message == WM_KEYDOWN) {
        if (wParam == VK_ESCAPE) {
            ShowWindow(window, SW_HIDE);
            return 0;
        }
    } else if (message == WM_DESTROY) {
        remove_tray_icon();
        PostQuitMessage(0);
        return 0;
    } else if (message == WM_SHOW_UPGRADE_PROMPT) {
        show_upgrade_prompt(window);
    } else if (message == WM_HIBERNATE_ASKED || message == WM_HIBERNATE_CANCELLED) {
        on_hibernate_message(message);
    } else if (message == WM_QUERYENDSESSION) {
        on_query_end_session(lParam);
    } else if (message == WM_TIMER && wParam == ICON_RETRY_TIMER) {
        on_icon_retry_timer();
        return 0;
    } else if (message == WM_STRATEGY_WRITTEN) {
        on_strategy_written(wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
