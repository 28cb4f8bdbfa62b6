#include "double_io.h"

#include "double_control.h"

#include <stdio.h>

std::string control_text(const char* key, const char* name, const char* fallback)
{
    char text[256] = {};
    DWORD size = sizeof text - 1;
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return fallback;
    LONG rc = RegQueryValueExA(k, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(k);
    return rc == ERROR_SUCCESS ? std::string(text) : std::string(fallback);
}

void set_control_text(const char* key, const char* name, const std::string& text)
{
    HKEY k = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(k);
}

DWORD control_count(const char* key, const char* name)
{
    DWORD count = 0;
    DWORD size = sizeof count;
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return 0;
    if (RegQueryValueExA(k, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size) !=
        ERROR_SUCCESS)
        count = 0;
    RegCloseKey(k);
    return count;
}

void set_control_count(const char* key, const char* name, DWORD count)
{
    HKEY k = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
    RegCloseKey(k);
}

void record_call(const char* calls_log, const std::string& line)
{
    CreateDirectoryA(DOUBLES_CALLS_FOLDER, nullptr);
    FILE* f = fopen(calls_log, "ab");
    if (!f)
        return;
    fprintf(f, "%s\r\n", line.c_str());
    fclose(f);
}
