// Baseline of the tray's reaction: the least a watcher of the upgrade key
// does (wait, arm the notification again, read the value, post), posting
// to the window whose handle (decimal) is the first argument.
#include <windows.h>
#include <stdlib.h>

#include "contract.h"

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(_strtoui64(argv[1], nullptr, 10)));
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, UPGRADE_KEY, 0, nullptr, 0, KEY_NOTIFY | KEY_QUERY_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 1;
    HANDLE changed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (RegNotifyChangeKeyValue(key, TRUE, 0x0F, changed, TRUE) != ERROR_SUCCESS)
        return 1;
    for (;;) {
        WaitForSingleObject(changed, INFINITE);
        // Armed again before the read, as the tray's worker does.
        if (RegNotifyChangeKeyValue(key, TRUE, 0x0F, changed, TRUE) != ERROR_SUCCESS)
            return 1;
        char state[32] = {};
        DWORD size = sizeof state - 1;
        RegQueryValueExA(key, UPGRADE_STATE_VALUE, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(state), &size);
        PostMessageA(window, WM_UPGRADE_NOTIFY, 0, UPGRADE_NOTE_OVER);
    }
}
