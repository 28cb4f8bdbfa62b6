#include "registry.h"

#include "handles.h"

#include <string.h>

reg_value_read read_reg_value(HKEY root, const char* path, const char* name,
                              char* buffer, DWORD capacity, REGSAM view)
{
    reg_value_read r = {ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER, REG_NONE, 0};
    if (!buffer || capacity == 0)
        return r;
    memset(buffer, 0, capacity);
    unique_hkey key;
    r.open_error = RegOpenKeyExA(root, path, 0, KEY_READ | view, key.put());
    if (r.open_error != ERROR_SUCCESS)
        return r;
    DWORD size = capacity - 1;
    r.query_error = RegQueryValueExA(key.get(), name, nullptr, &r.type,
                                     reinterpret_cast<BYTE*>(buffer), &size);
    if (r.query_error == ERROR_SUCCESS)
        r.size = size;
    else
        memset(buffer, 0, capacity);
    return r;
}
