// Keeps the Wine desktop open for a whole test run: the desktop closes when
// its last program ends. An idle window and a message loop, nothing else;
// the test bed ends it with the Wine server.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CreateWindowExA(0, "STATIC", "desktop keep-alive", 0, 0, 0, 1, 1, nullptr, nullptr, instance,
                    nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
