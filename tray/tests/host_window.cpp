#include "host_window.h"

#include "contract.h"
#include "session_end.h"
#include "tray_state.h"
#include "upgrade_prompt.h"

#include <mutex>

namespace {

std::mutex g_results_lock;
std::vector<INT_PTR> g_results;

LRESULT CALLBACK host_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SHOW_UPGRADE_PROMPT: {
        INT_PTR result = show_upgrade_prompt(window);
        std::lock_guard<std::mutex> hold(g_results_lock);
        g_results.push_back(result);
        break;
    }
    case WM_HIBERNATE_ASKED:
    case WM_HIBERNATE_CANCELLED:
        on_hibernate_message(message);
        break;
    case HOST_PING:
        return HOST_PING_ANSWER;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

struct start_request {
    host_window* host;
    HANDLE ready;
};

DWORD WINAPI host_thread(LPVOID param)
{
    start_request* request = static_cast<start_request*>(param);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = host_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "gt_prompt_host";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "gt prompt host", WS_OVERLAPPED, 0, 0,
                                  100, 100, nullptr, nullptr, wc.hInstance, nullptr);
    request->host->window = window;
    SetEvent(request->ready);   // the request dies with the starter's frame
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (IsWindow(window))
        DestroyWindow(window);
    return 0;
}

} // namespace

bool start_host(host_window* host)
{
    g_hInstance = GetModuleHandleA(nullptr);
    host->window = nullptr;
    start_request request = {host, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    host->thread_handle = CreateThread(nullptr, 0, host_thread, &request, 0, &host->thread);
    bool ready = host->thread_handle &&
                 WaitForSingleObject(request.ready, 10000) == WAIT_OBJECT_0;
    CloseHandle(request.ready);
    return ready && host->window != nullptr;
}

void stop_host(host_window* host)
{
    if (!host->thread_handle)
        return;
    PostThreadMessageA(host->thread, WM_QUIT, 0, 0);
    WaitForSingleObject(host->thread_handle, 10000);
    CloseHandle(host->thread_handle);
    host->thread_handle = nullptr;
}

std::vector<INT_PTR> prompt_results()
{
    std::lock_guard<std::mutex> hold(g_results_lock);
    return g_results;
}

void clear_prompt_results()
{
    std::lock_guard<std::mutex> hold(g_results_lock);
    g_results.clear();
}
