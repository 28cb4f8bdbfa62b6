#include "tray_app.h"

#include <stdio.h>

#include "autostart.h"
#include "command_line.h"
#include "console_output.h"
#include "contract.h"
#include "handles.h"
#include "platform_check.h"
#include "privilege.h"
#include "process_lookup.h"
#include "tray_icon.h"
#include "tray_state.h"
#include "tray_window.h"
#include "ui_strings.h"
#include "upgrade_strategy.h"
#include "worker.h"

static_assert(sizeof(void*) == 8 || sizeof(WNDCLASSEXA) == 48, "WNDCLASSEXA is 48 bytes");

static const int TRAY_WINDOW_WIDTH = 360;
static const int TRAY_WINDOW_HEIGHT = 126;

static void show_failure(const char* text)
{
    char caption[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, caption, MAX_PATH);
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONEXCLAMATION);
}

HWND create_tray_window()
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = 0;
    wc.lpfnWndProc = tray_window_proc;
    wc.hInstance = g_hInstance;
    wc.hCursor = static_cast<HCURSOR>(LoadImageA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */,
                                                 IMAGE_CURSOR, 0, 0, LR_SHARED));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = TRAY_WINDOW_CLASS;
    RegisterClassExA(&wc);
    return CreateWindowExA(WS_EX_TOPMOST, TRAY_WINDOW_CLASS, TRAY_WINDOW_TITLE, WS_CAPTION | WS_SYSMENU,
                           CW_USEDEFAULT, CW_USEDEFAULT, TRAY_WINDOW_WIDTH, TRAY_WINDOW_HEIGHT, nullptr,
                           nullptr, g_hInstance, nullptr);
}

static void add_app_icon_control(HWND parent)
{
    CreateWindowExA(0, "STATIC", "app_icon", WS_CHILD | WS_VISIBLE | SS_ICON, 55, 12, 32, 32, parent,
                    nullptr, g_hInstance, nullptr);
}

// Copies of the program started together would each miss the other's window
// and make one of their own: the lookup and the window's creation happen
// under a mutex of the logon session. A copy that ended while it held the
// mutex leaves it abandoned, which hands it on all the same. When it cannot
// be had in time (a copy hangs while it starts) or at all, this copy looks
// for the window without it: a rare second tray is better than none.
static const DWORD START_GUARD_WAIT_MS = 10000;

static unique_held_mutex take_start_guard()
{
    unique_handle guard(CreateMutexA(nullptr, FALSE, TRAY_START_MUTEX_NAME));
    if (!guard)
        return unique_held_mutex();
    DWORD waited = WaitForSingleObject(guard.get(), START_GUARD_WAIT_MS);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        return unique_held_mutex(guard.release());
    return unique_held_mutex();
}

// The worker thread and the window; the text of the failure, else NULL.
static const char* create_tray()
{
    g_uAddTray = RegisterWindowMessageA(ADD_TRAY_MESSAGE);
    g_uHideTray = RegisterWindowMessageA(HIDE_TRAY_MESSAGE);

    // Never joined: the handle is closed at once.
    unique_handle worker(CreateThread(nullptr, 0, tray_worker_thread, nullptr, 0, nullptr));
    if (!worker)
        return TEXT_THREAD_FAILED;

    read_upgrade_strategy();
    g_hTrayWnd = create_tray_window();
    return g_hTrayWnd ? nullptr : TEXT_CREATE_WINDOW_FAILED;
}

int run_tray()
{
    if (!is_kvm_platform())
        return 0;
    unique_held_mutex guard = take_start_guard();
    HWND running = FindWindowA(TRAY_WINDOW_CLASS, nullptr);
    const char* failure = running ? nullptr : create_tray();
    guard.reset();
    if (running) {
        PostMessageA(running, RegisterWindowMessageA(ADD_TRAY_MESSAGE), 0, 0);
        return 0;
    }
    if (failure) {
        show_failure(failure);
        return 1;
    }
    char path[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, path, MAX_PATH) == 0) {
        show_failure(TEXT_MODULE_NAME_FAILED);
        return 1;
    }
    g_pUiStrings = choose_ui_strings(GetSystemDefaultLCID());
    add_app_icon_control(g_hTrayWnd);
    setup_tray_icon();
    show_tray_icon();
    PostMessageA(g_hTrayWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_hIcon));

    MSG msg = {};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int tray_main(const char* tail)
{
    switch (parse_tray_switch(tail)) {
    case SWITCH_RUN:
        return run_tray();
    case SWITCH_UNINSTALL: {
        use_parent_console();
        remove_autostart();
        fflush(stdout);
        enable_debug_privilege();   // trays of other users and sessions
        // The first OTHER copy: this process carries the same image name.
        DWORD running = find_process_by_name_except(TRAY_IMAGE_NAME, GetCurrentProcessId());
        if (running)
            terminate_process_by_id(running);
        return 0;
    }
    case SWITCH_INSTALL:
        use_parent_console();
        add_autostart();
        fflush(stdout);
        return 0;
    case SWITCH_USAGE:
        break;
    }
    use_parent_console();
    print_tray_usage();
    fflush(stdout);
    return 0;
}
