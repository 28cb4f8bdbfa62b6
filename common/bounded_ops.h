#pragma once
#include <stddef.h>

// Result codes of the bounded memory operations.
enum {
    BOUNDED_OK = 0,
    BOUNDED_EINVAL = 22,         // destination null
    BOUNDED_ERANGE = 34,         // bad capacity; fill: count above capacity
    BOUNDED_SRC_NULL = 150,      // destination cleared
    BOUNDED_TOO_LONG = 162,      // destination cleared
    BOUNDED_OVERLAP = 182,       // destination cleared
};

const size_t BOUNDED_MAX_CAPACITY = 2147483647u;

int bounded_copy(void* dest, size_t capacity, const void* src, size_t count);
int bounded_fill(void* dest, size_t capacity, int value, size_t count);
