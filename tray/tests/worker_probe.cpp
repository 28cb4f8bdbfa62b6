// Runs the tray's worker thread on the main thread, posting to the window
// whose handle (decimal) is the first argument.
#include <stdlib.h>

#include "test_seams.h"
#include "tray_state.h"
#include "worker.h"

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    apply_test_seams();
    g_hTrayWnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(_strtoui64(argv[1], nullptr, 10)));
    return static_cast<int>(tray_worker_thread(nullptr));
}
