#include "session_end.h"

void on_query_end_session(LPARAM) {}

bool on_power_broadcast(HWND, WPARAM, LRESULT*)
{
    return false;
}

void on_hibernate_message(UINT) {}
