#pragma once
// Test builds may shorten periods through environment variables or the
// registry; shipped
// builds never read them, and the names do not reach their files.
#include <windows.h>

#include <stdlib.h>

#ifdef GT_TEST_SEAMS
// The number in env_name when it is set, else shipped_value.
inline DWORD seam_number(const char* env_name, DWORD shipped_value)
{
    char text[32] = {};
    DWORD length = GetEnvironmentVariableA(env_name, text, sizeof text);
    if (length == 0 || length >= sizeof text)
        return shipped_value;
    return static_cast<DWORD>(atoi(text));
}
// The REG_DWORD value_name under HKEY_LOCAL_MACHINE\key when it is there,
// else shipped_value.
inline DWORD seam_registry_number(const char* key, const char* value_name, DWORD shipped_value)
{
    DWORD value = 0, type = 0, size = sizeof value;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return shipped_value;
    LONG rc = RegQueryValueExA(opened, value_name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(opened);
    return rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value ? value : shipped_value;
}
#define SEAM_NUMBER(env_name, shipped_value) seam_number(env_name, shipped_value)
#define SEAM_REGISTRY_NUMBER(key, value_name, shipped_value) seam_registry_number(key, value_name, shipped_value)
#else
#define SEAM_NUMBER(env_name, shipped_value) (shipped_value)
#define SEAM_REGISTRY_NUMBER(key, value_name, shipped_value) (shipped_value)
#endif
