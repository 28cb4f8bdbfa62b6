#pragma once
#include <stddef.h>

// Room for a failure line: a call's name, a path or command line of up to
// 259 characters and an error number.
const size_t FAILURE_TEXT_CAPACITY = 400;

// The line a log gives a failed call: `<call> "<object>" failed (<error>)`,
// cut to capacity and always terminated.
void format_failure(char* out, size_t capacity, const char* call, const char* object,
                    unsigned long error);
