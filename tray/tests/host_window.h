#pragma once
// A window like the tray's on a thread of its own in the test program: its
// procedure hands the prompt and hibernate messages to the tray's handlers
// and records the prompts' results.
#include <windows.h>

#include <vector>

// Answered with HOST_PING_ANSWER: proves the window still handles messages.
#define HOST_PING (WM_APP + 7)
#define HOST_PING_ANSWER 42

struct host_window {
    HWND window;
    DWORD thread;
    HANDLE thread_handle;
};

bool start_host(host_window* host);
void stop_host(host_window* host);
// Results of the prompts that closed, in closing order.
std::vector<INT_PTR> prompt_results();
void clear_prompt_results();
