#include "command_line.h"

#include <stdio.h>

watchdog_action parse_command_line(int argc, const char* const* argv)
{
    if (argc != 2)
        return ACTION_USAGE;
    const char* option = argv[1];
    if (option[0] != '-' || option[1] == '\0' || option[2] != '\0')
        return ACTION_USAGE;
    switch (option[1]) {
    case 'd':
        return ACTION_FOREGROUND;
    case 'i':
        return ACTION_INSTALL;
    case 's':
        return ACTION_SERVICE;
    case 'u':
        return ACTION_REMOVE;
    default:
        return ACTION_USAGE;
    }
}

namespace {

const char* const WATCHDOG_USAGE_NAME = "sen_drik_hald";

} // namespace

const char* usage_program_name(int argc, const char* const* argv)
{
    return argc == 0 || !argv[0] ? WATCHDOG_USAGE_NAME : argv[0];
}

void print_usage(const char* program_name)
{
    printf("Options:\n");
    printf(" -s run %s as service\n", program_name);
    printf(" -i install %s service\n", program_name);
    printf(" -u uninstall %s service\n", program_name);
}
