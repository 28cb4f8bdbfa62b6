#pragma once
#include <windows.h>

struct wmi_answer {
    bool read;
    DWORD failure;   // an HRESULT, a loader error, or WAIT_TIMEOUT
    char manufacturer[256];
};

// Win32_ComputerSystem.Manufacturer of root\cimv2, asked on a thread of its
// own and waited for at most wait_ms: COM and WMI are loaded from the system
// folder at run time, and a WMI that does not answer in time leaves the
// thread to finish by itself.
wmi_answer query_wmi_manufacturer(DWORD wait_ms);
