// Baseline of the tray's idle cost: one hidden window, one notification
// icon and a message loop, nothing else. Built with WITH_TRAY_THREADS it also
// has what the tray's design adds while idle: a thread that looks at the
// last input every 5 seconds and a thread blocked in a wait.
#include <windows.h>
#include <shellapi.h>

namespace {

const UINT ICON_CALLBACK = WM_APP + 1;

#ifdef WITH_TRAY_THREADS
DWORD WINAPI look_at_input(LPVOID)
{
    LASTINPUTINFO input = {sizeof input, 0};
    for (;;) {
        Sleep(5000);
        GetLastInputInfo(&input);
    }
}

DWORD WINAPI wait_for_ever(LPVOID event)
{
    return WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
}
#endif

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
#ifdef WITH_TRAY_THREADS
    CloseHandle(CreateThread(nullptr, 0, look_at_input, nullptr, 0, nullptr));
    CloseHandle(CreateThread(nullptr, 0, wait_for_ever, CreateEventA(nullptr, TRUE, FALSE, nullptr),
                             0, nullptr));
#endif
    WNDCLASSA wc = {};
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
#ifdef WITH_TRAY_THREADS
    wc.lpszClassName = "idle_threads_baseline";
#else
    wc.lpszClassName = "idle_icon_baseline";
#endif
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "idle icon baseline", WS_CAPTION, 0, 0,
                                  100, 100, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    NOTIFYICONDATAA icon = {};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    icon.uCallbackMessage = ICON_CALLBACK;
    icon.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512) /* IDI_APPLICATION */);
    lstrcpyA(icon.szTip, "baseline");
    Shell_NotifyIconA(NIM_ADD, &icon);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    Shell_NotifyIconA(NIM_DELETE, &icon);
    return 0;
}
