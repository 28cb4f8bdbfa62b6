#pragma once
#include <windows.h>

// Outcome of reading one value: the key's open and the value's query are
// told apart, and absent (ERROR_FILE_NOT_FOUND) from any other error.
struct reg_value_read {
    LONG open_error;   // ERROR_SUCCESS when the key was opened
    LONG query_error;  // ERROR_SUCCESS when the value was read
    DWORD type;
    DWORD size;        // bytes stored in the buffer

    bool key_opened() const { return open_error == ERROR_SUCCESS; }
    bool found() const { return key_opened() && query_error == ERROR_SUCCESS; }
    bool key_absent() const { return open_error == ERROR_FILE_NOT_FOUND; }
};

// Zeroes buffer[0..capacity) and reads at most capacity-1 bytes of the value
// (whatever its type) with KEY_READ, so the text is always terminated. A value
// longer than that is not read (ERROR_MORE_DATA). view: 0, or
// KEY_WOW64_64KEY / KEY_WOW64_32KEY added to the key's access.
reg_value_read read_reg_value(HKEY root, const char* path, const char* name,
                              char* buffer, DWORD capacity, REGSAM view = 0);
