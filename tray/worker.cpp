#include "worker.h"

DWORD WINAPI tray_worker_thread(LPVOID)
{
    return 0;
}
