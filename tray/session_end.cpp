#include "session_end.h"

#include "contract.h"
#include "handles.h"
#include "modal_limits.h"
#include "system_folder.h"
#include "tray_log.h"
#include "wu_check_call.h"

#include <io.h>

int upgrade_batch_staged()
{
    return _access(UPGRADE_BATCH_PATH, 0) == 0 ? 1 : 0;
}

int wu_installs_at_shutdown()
{
    // The system's own folder: a fixed "C:\Windows" may be a folder any
    // user made (on Windows 2000 the system lives in C:\WINNT).
    char path[MAX_PATH];
    if (!system_file_path(WU_ENGINE_FILE, path, sizeof path))
        return 0;
    unique_module engine(LoadLibraryA(path));
    if (!engine)
        return 0;
    FARPROC proc = GetProcAddress(engine.get(), WU_SHUTDOWN_EXPORT);
    if (!proc)
        return 0;
    return call_wu_check(reinterpret_cast<void*>(proc)) != 0 ? 1 : 0;
}

int wu_updates_pending()
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UPDATE_COUNT_KEY, 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return 0;
    DWORD count = 0;
    DWORD size = sizeof count;
    LONG rc = RegQueryValueExA(key.get(), UPDATE_COUNT_VALUE, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&count), &size);
    return rc == ERROR_SUCCESS && count != 0 ? 1 : 0;
}

const char* session_end_marker(LPARAM lParam, const patching_test* tests, int count)
{
    if (static_cast<DWORD>(lParam) == ENDSESSION_LOGOFF)
        return nullptr;
    for (int i = 0; i < count; ++i) {
        if (tests[i]())
            return MARKER_PATCHING;
    }
    return MARKER_CLOSING;
}

void on_query_end_session(LPARAM lParam)
{
    static const patching_test tests[] = {upgrade_batch_staged, wu_installs_at_shutdown,
                                          wu_updates_pending};
    const char* marker = session_end_marker(lParam, tests, sizeof tests / sizeof tests[0]);
    if (marker)
        write_tray_log(marker);
}

bool on_power_broadcast(HWND window, WPARAM wParam, LRESULT* result)
{
    static int s_warning_open = 0;
    if (wParam != PBT_APMQUERYSUSPEND)
        return false;
    // A query that comes while the warning is open is refused without a second box.
    if (modal_request_for(s_warning_open, 1) == MODAL_OPEN) {
        ++s_warning_open;
        MessageBoxA(window, SUSPEND_WARNING_TEXT, SUSPEND_WARNING_CAPTION,
                    MB_OK | MB_ICONINFORMATION);
        --s_warning_open;
    }
    *result = BROADCAST_QUERY_DENY;
    return true;
}

const char* hibernate_log_line(UINT message)
{
    if (message == WM_HIBERNATE_ASKED)
        return LOG_HIBERNATE_ASKED;
    if (message == WM_HIBERNATE_CANCELLED)
        return LOG_HIBERNATE_CANCELLED;
    return nullptr;
}

void on_hibernate_message(UINT message)
{
    const char* line = hibernate_log_line(message);
    if (line)
        write_tray_log(line);
}
