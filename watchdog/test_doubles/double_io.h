#pragma once
// Small registry and file plumbing shared by the doubles.
#include <windows.h>

#include <string>

// Text of a REG_SZ under HKLM\key, or fallback when missing.
std::string control_text(const char* key, const char* name, const char* fallback);
void set_control_text(const char* key, const char* name, const std::string& text);
// A REG_DWORD under HKLM\key, 0 when missing.
DWORD control_count(const char* key, const char* name);
void set_control_count(const char* key, const char* name, DWORD count);
// Appends "line\r\n" to the calls file, creating its folder.
void record_call(const char* calls_log, const std::string& line);
