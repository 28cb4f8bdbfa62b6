#include <windows.h>

#include "test_seams.h"
#include "tray_app.h"
#include "tray_state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int)
{
#ifdef GT_TEST_SEAMS
    apply_test_seams();
#endif
    g_hInstance = instance;
    return tray_main(tail);
}
