#pragma once
#include <stddef.h>

// The System Information (type 1) "Manufacturer" string of a raw SMBIOS
// dump as GetSystemFirmwareTable('RSMB') returns it: an 8-byte header whose
// DWORD at offset 4 is the table's length, then the structures. Reads only
// inside the buffer and the table's length: a structure whose formatted part
// or string set runs past them, or whose string set has no closing double
// NUL, ends the search. The first type-1 structure decides. False, with out
// empty, when it is missing or its manufacturer index is 0 or names no
// string; a longer string is cut to capacity-1 characters.
bool smbios_system_manufacturer(const unsigned char* raw, size_t size, char* out, size_t capacity);
