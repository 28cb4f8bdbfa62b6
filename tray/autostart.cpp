#include "autostart.h"

#include <windows.h>
#include <stdio.h>
#include <strsafe.h>

#include "contract.h"
#include "handles.h"
#include "ui_strings.h"

size_t format_run_value(const char* program_path, char* text, size_t capacity)
{
    size_t length = 0;
    if (FAILED(StringCchPrintfA(text, capacity, SERVICE_COMMAND_FORMAT, program_path)) ||
        FAILED(StringCchLengthA(text, capacity, &length)))
        return 0;
    return length;
}

void add_autostart()
{
    char path[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, path, MAX_PATH) == 0)
        return;
    char text[RUN_VALUE_CAPACITY] = {};
    const size_t length = format_run_value(path, text, RUN_VALUE_CAPACITY);
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUN_KEY, 0, KEY_WRITE, key.put()) != ERROR_SUCCESS) {
        printf("%s\n", TEXT_KEY_OPEN_FAILED);
        return;
    }
    if (RegSetValueExA(key.get(), TRAY_RUN_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>(length)) != ERROR_SUCCESS)
        printf("%s\n", TEXT_SET_FAILED);
}

void remove_autostart()
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUN_KEY, 0, KEY_WRITE, key.put()) != ERROR_SUCCESS) {
        printf("%s\n", TEXT_KEY_OPEN_FAILED);
        return;
    }
    if (RegDeleteValueA(key.get(), TRAY_RUN_VALUE) != ERROR_SUCCESS)
        printf("%s\n", TEXT_DELETE_FAILED);
}
