#include "console_output.h"

#include <windows.h>
#include <stdio.h>

#ifndef ATTACH_PARENT_PROCESS
#define ATTACH_PARENT_PROCESS ((DWORD)-1)
#endif

typedef BOOL(WINAPI* attach_console_fn)(DWORD process_id);

void use_parent_console()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE)
        return;
    // AttachConsole exists from Windows XP on.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    attach_console_fn attach =
        kernel ? reinterpret_cast<attach_console_fn>(
                     reinterpret_cast<void*>(GetProcAddress(kernel, "AttachConsole")))
               : nullptr;
    if (attach && attach(ATTACH_PARENT_PROCESS))
        freopen("CONOUT$", "w", stdout);
}
