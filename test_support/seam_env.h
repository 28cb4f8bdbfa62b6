#pragma once
// The test builds' one way to read a seam's environment variable.
#include <windows.h>

// The variable's text; false when it is not set or does not fit.
inline bool seam_env_text(const char* name, char* text, DWORD capacity)
{
    DWORD length = GetEnvironmentVariableA(name, text, capacity);
    return length != 0 && length < capacity;
}
