#pragma once
#include <stddef.h>

// The full path of file in the folder GetSystemDirectoryA reports (for a
// 32-bit program on 64-bit Windows the name of System32, which the system
// leads to SysWOW64). False, with out empty, when the folder cannot be had or
// the whole path does not fit in capacity: never a cut path.
bool system_file_path(const char* file, char* out, size_t capacity);
