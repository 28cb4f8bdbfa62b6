#pragma once
#include <stddef.h>

const size_t RUN_VALUE_CAPACITY = 270;

// The Run value's text for a program path: the quoted path and " -s". Gives
// the byte count the value is written with, which leaves the terminating NUL
// out; 0 when the text does not fit.
size_t format_run_value(const char* program_path, char* text, size_t capacity);
// "-i": writes the Run value; failures are printed.
void add_autostart();
// "-u": deletes the Run value; failures are printed.
void remove_autostart();
