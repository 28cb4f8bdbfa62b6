#pragma once
// What the test builds of the watchdog, the tray and the setup actions read
// for the platform check. A registry value, as the service takes no
// environment from a test.
#include <windows.h>

#include "platform_check.h"

#define TEST_PLATFORM_KEY "Software\\GuestToolsTest\\platform"   // HKEY_LOCAL_MACHINE
// REG_DWORD 1: as if GetSystemFirmwareTable were missing (Windows 2000, XP
// 32-bit), so the check asks WMI where the BIOS key is absent.
#define TEST_NO_FIRMWARE_TABLE_VALUE "no_firmware_table"

inline firmware_table_fn no_firmware_table()
{
    return nullptr;
}

inline void hide_firmware_table_when_asked()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TEST_PLATFORM_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegQueryValueExA(key, TEST_NO_FIRMWARE_TABLE_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) == ERROR_SUCCESS &&
        type == REG_DWORD && value == 1)
        look_up_firmware_table = no_firmware_table;
    RegCloseKey(key);
}
