#include "program_files_guard.h"

#include "contract.h"
#include "registry.h"
#include "system_places.h"

#include <string.h>

namespace {

const size_t VALUE_CAPACITY = 260;

char lower_ascii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool same_folder(const char* literal, const char* system_folder)
{
    size_t length = strlen(literal);
    for (size_t i = 0; i < length; ++i) {
        if (lower_ascii(literal[i]) != lower_ascii(system_folder[i]))
            return false;   // also where system_folder ends first
    }
    const char* rest = system_folder + length;
    return rest[0] == '\0' || (rest[0] == '\\' && rest[1] == '\0');
}

const char* program_files_value_for(const char* literal)
{
    return strcmp(literal, PROGRAM_FILES_X86_FOLDER) == 0 ? PROGRAM_FILES_X86_DIR_VALUE
                                                          : PROGRAM_FILES_DIR_VALUE;
}

const char* devcon_refusal(bool system_folder)
{
    return system_folder ? nullptr : "not under the system's Program Files folder";
}

bool literal_is_system_folder(const char* literal)
{
    // A 32-bit program on 64-bit Windows reads its own view's ProgramFilesDir
    // as the "(x86)" folder: the 64-bit view gives the system's. Windows 2000
    // knows no views and no such flag.
    wow64_lookup lookup = look_up_wow64();
    REGSAM view = lookup.found && lookup.wow64 ? KEY_WOW64_64KEY : 0;
    char value[VALUE_CAPACITY];
    reg_value_read r = read_reg_value(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY,
                                      program_files_value_for(literal), value, sizeof value, view);
    return r.found() && r.type == REG_SZ && same_folder(literal, value);
}
