#pragma once
#include <windows.h>

// Modal windows nest: each request handled inside an open one's message
// loop would open another over it. Every kind has a bound.
enum modal_request {
    MODAL_OPEN,       // open another
    MODAL_TO_FRONT,   // the bound is reached: bring the topmost forward instead
};
modal_request modal_request_for(int open, int bound);

// Raises a window of this thread above the others and asks for the
// foreground (which Windows may refuse to a program in the background; the
// window is raised all the same). Nothing for NULL.
void bring_to_front(HWND window);
// A visible top-level window of the calling thread with this caption, or NULL.
HWND thread_window_captioned(const char* caption);
