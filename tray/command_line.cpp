#include "command_line.h"

#include <stdio.h>
#include <string.h>

tray_switch parse_tray_switch(const char* tail)
{
    if (!tail)
        return SWITCH_USAGE;
    if (strcmp(tail, "-u") == 0)
        return SWITCH_UNINSTALL;
    if (strcmp(tail, "-i") == 0)
        return SWITCH_INSTALL;
    if (strcmp(tail, "-s") == 0)
        return SWITCH_RUN;
    return SWITCH_USAGE;
}

void print_tray_usage()
{
    printf("Options:\n");
    printf(" -s run this app\n");
    printf(" -i add this app to autostart\n");
    printf(" -u remove this app from autostart\n");
}
