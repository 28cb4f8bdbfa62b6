#include "bounded_ops.h"

#include <string.h>

namespace {

bool inside(const unsigned char* p, const unsigned char* start, size_t count)
{
    return p >= start && p < start + count;
}

} // namespace

int bounded_copy(void* dest, size_t capacity, const void* src, size_t count)
{
    unsigned char* d = static_cast<unsigned char*>(dest);
    const unsigned char* s = static_cast<const unsigned char*>(src);

    if (count <= capacity && d && s && count > 0 && (s + count <= d || d + count <= s)) {
        memcpy(d, s, count);
        return BOUNDED_OK;
    }
    if (capacity == 0 || capacity > BOUNDED_MAX_CAPACITY)
        return BOUNDED_ERANGE;
    if (!d)
        return BOUNDED_EINVAL;
    if (!s) {
        memset(d, 0, capacity);
        return BOUNDED_SRC_NULL;
    }
    if (count > capacity) {
        memset(d, 0, capacity);
        return BOUNDED_TOO_LONG;
    }
    if (d == s)
        return BOUNDED_OK;
    if (inside(d, s, count) || inside(s, d, count)) {
        memset(d, 0, capacity);
        return BOUNDED_OVERLAP;
    }
    return BOUNDED_OK;
}

int bounded_fill(void* dest, size_t capacity, int value, size_t count)
{
    if (capacity == 0 || capacity > BOUNDED_MAX_CAPACITY)
        return BOUNDED_ERANGE;
    if (!dest)
        return BOUNDED_EINVAL;
    if (count <= capacity) {
        memset(dest, value, count);
        return BOUNDED_OK;
    }
    memset(dest, value, capacity);
    return BOUNDED_ERANGE;
}
