// Stands in for the Windows Update engine: WUCheckForUpdatesAtShutdown stores
// a chosen answer after a chosen delay, and every load and call is counted.
#include "wu_engine_double.h"

#include <windows.h>

static DWORD read_number(HKEY key, const char* name)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return 0;
    return value;
}

static DWORD count_up(const char* name)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, WU_DOUBLE_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return 0;
    DWORD value = read_number(key, name) + 1;
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return value;
}

static DWORD setting(const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, WU_DOUBLE_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD value = read_number(key, name);
    RegCloseKey(key);
    return value;
}

#if defined(WU_DOUBLE_CONVENTION_cdecl)
#define WU_DOUBLE_CALL __cdecl
#else
#define WU_DOUBLE_CALL WINAPI
#endif

extern "C" __declspec(dllexport) int WU_DOUBLE_CALL WUCheckForUpdatesAtShutdown(int* installs)
{
    count_up(WU_DOUBLE_CALLS);
    DWORD delay = setting(WU_DOUBLE_DELAY_MS);
    if (delay)
        Sleep(delay);
    *installs = static_cast<int>(setting(WU_DOUBLE_ANSWER));
    return 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        count_up(WU_DOUBLE_LOADS);
    return TRUE;
}
