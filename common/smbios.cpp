#include "smbios.h"

#include <string.h>

namespace {

const size_t RAW_HEADER_SIZE = 8;      // calling method, versions, DMI revision, length
const size_t STRUCTURE_HEADER_SIZE = 4; // type, formatted length, handle
const unsigned char SYSTEM_INFORMATION = 1;
const unsigned char END_OF_TABLE = 127;
const size_t MANUFACTURER_OFFSET = 4;

// The end of the string set that starts at p: just past its double NUL, or
// nullptr when none lies before end.
const unsigned char* string_set_end(const unsigned char* p, const unsigned char* end)
{
    for (; p + 1 < end; ++p) {
        if (p[0] == 0 && p[1] == 0)
            return p + 2;
    }
    return nullptr;
}

// String number index (from 1) of the set [strings, set_end).
const char* nth_string(const unsigned char* strings, const unsigned char* set_end, unsigned index)
{
    const unsigned char* p = strings;
    for (unsigned n = 1; p < set_end && *p; ++n) {
        if (n == index)
            return reinterpret_cast<const char*>(p);
        p += strlen(reinterpret_cast<const char*>(p)) + 1;
    }
    return nullptr;
}

} // namespace

bool smbios_system_manufacturer(const unsigned char* raw, size_t size, char* out, size_t capacity)
{
    if (!out || capacity == 0)
        return false;
    out[0] = '\0';
    if (!raw || size < RAW_HEADER_SIZE)
        return false;
    size_t length = raw[4] | raw[5] << 8 | raw[6] << 16 | static_cast<size_t>(raw[7]) << 24;
    if (length > size - RAW_HEADER_SIZE)
        length = size - RAW_HEADER_SIZE;
    const unsigned char* p = raw + RAW_HEADER_SIZE;
    const unsigned char* end = p + length;

    while (static_cast<size_t>(end - p) >= STRUCTURE_HEADER_SIZE) {
        unsigned char type = p[0];
        size_t formatted = p[1];
        if (formatted < STRUCTURE_HEADER_SIZE || formatted > static_cast<size_t>(end - p))
            return false;
        const unsigned char* strings = p + formatted;
        const unsigned char* next = string_set_end(strings, end);
        if (!next)
            return false;
        if (type == SYSTEM_INFORMATION) {
            if (formatted <= MANUFACTURER_OFFSET || p[MANUFACTURER_OFFSET] == 0)
                return false;
            const char* text = nth_string(strings, next, p[MANUFACTURER_OFFSET]);
            if (!text)
                return false;
            size_t n = strlen(text);
            if (n >= capacity)
                n = capacity - 1;
            memcpy(out, text, n);
            out[n] = '\0';
            return true;
        }
        if (type == END_OF_TABLE)
            return false;
        p = next;
    }
    return false;
}
