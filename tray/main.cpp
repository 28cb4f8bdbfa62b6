#include <windows.h>

#include "tray_app.h"
#include "tray_state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int)
{
    g_hInstance = instance;
    return tray_main(tail);
}
