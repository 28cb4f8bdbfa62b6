#pragma once
// Test builds may shorten periods through environment variables; shipped
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
#define SEAM_NUMBER(env_name, shipped_value) seam_number(env_name, shipped_value)
#else
#define SEAM_NUMBER(env_name, shipped_value) (shipped_value)
#endif
