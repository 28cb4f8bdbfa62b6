#include "autoplay.h"

#include <string.h>

#include "contract.h"

namespace {

const DWORD DISABLE_AUTOPLAY_DATA = 1;
const UINT BROADCAST_TIMEOUT_MS = 5000;
const DWORD VERSION_INFO_EX_SIZE = 156;
const DWORD VERSION_INFO_SIZE = 148;

// Opens the key for writing, or creates it with its missing parents.
void store_dword(HKEY root, const char* path, const char* name, DWORD value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_WRITE, &key) != ERROR_SUCCESS &&
        RegCreateKeyA(root, path, &key) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof(value));
    RegCloseKey(key);
}

} // namespace

int classify_version(bool query_ok, DWORD platform_id, DWORD major, DWORD minor)
{
    if (!query_ok)
        return WINDOWS_UNKNOWN;
    if (platform_id == VER_PLATFORM_WIN32_NT && major == 6 && (minor == 0 || minor == 1))
        return WINDOWS_VISTA_OR_7;
    return WINDOWS_OTHER;
}

int classify_windows_version()
{
    OSVERSIONINFOEXA info;
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = VERSION_INFO_EX_SIZE;
    bool ok = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != FALSE;
    if (!ok) {
        // Windows before NT 4 SP6 knows only the plain structure.
        info.dwOSVersionInfoSize = VERSION_INFO_SIZE;
        ok = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) != FALSE;
    }
    return classify_version(ok, info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

autoplay_setting autoplay_setting_for(int version_class)
{
    return version_class == WINDOWS_OTHER ? AUTOPLAY_MACHINE_POLICY : AUTOPLAY_USER_SWITCH;
}

void disable_autoplay_for_user(DWORD value)
{
    store_dword(HKEY_CURRENT_USER, AUTOPLAY_HANDLERS_KEY, DISABLE_AUTOPLAY_VALUE, value);
}

void set_drive_autorun_policy(DWORD value)
{
    store_dword(HKEY_LOCAL_MACHINE, EXPLORER_POLICIES_KEY, NO_DRIVE_TYPE_AUTORUN_VALUE, value);
}

void apply_autoplay_policy(int version_class)
{
    if (autoplay_setting_for(version_class) == AUTOPLAY_USER_SWITCH)
        disable_autoplay_for_user(DISABLE_AUTOPLAY_DATA);
    else
        set_drive_autorun_policy(NO_DRIVE_TYPE_AUTORUN_DATA);
    // Bounded, so a hung top-level window cannot hold the worker for ever.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, 0, SMTO_ABORTIFHUNG,
                        BROADCAST_TIMEOUT_MS, &ignored);
}
