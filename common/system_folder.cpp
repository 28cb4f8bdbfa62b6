#include "system_folder.h"

#include <windows.h>
#include <strsafe.h>

bool system_file_path(const char* file, char* out, size_t capacity)
{
    if (!out || capacity == 0)
        return false;
    out[0] = '\0';
    UINT length = GetSystemDirectoryA(out, static_cast<UINT>(capacity));
    // 0: failed; capacity or more: the size it would need, nothing copied.
    if (length == 0 || length >= capacity || FAILED(StringCchCatA(out, capacity, "\\")) ||
        FAILED(StringCchCatA(out, capacity, file))) {
        out[0] = '\0';
        return false;
    }
    return true;
}
