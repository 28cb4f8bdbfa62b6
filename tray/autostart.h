#pragma once
#include <stddef.h>

const size_t RUN_VALUE_CAPACITY = 270;

// The Run value's text for a program path: the quoted path and " -s".
bool format_run_value(const char* program_path, char* text, size_t capacity);
// "-i": writes the Run value; failures are printed.
void add_autostart();
// "-u": deletes the Run value; failures are printed.
void remove_autostart();

#ifdef GT_TEST_SEAMS
// Byte count of the last Run value written (the registry cannot tell).
extern unsigned long g_test_run_value_length;
#endif
