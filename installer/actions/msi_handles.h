#pragma once
// The owner of a Windows Installer handle, beside the kernel's in handles.h
// (only the custom action DLL has msi.h).
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "handles.h"

struct msi_handle_traits {
    using type = MSIHANDLE;
    static type none() { return 0; }
    static bool valid(type h) { return h != 0; }
    static void close(type h) { MsiCloseHandle(h); }
};

using unique_msi_handle = unique_owner<msi_handle_traits>;
