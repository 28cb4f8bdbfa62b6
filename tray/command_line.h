#pragma once

enum tray_switch {
    SWITCH_USAGE,      // anything else, the empty tail included
    SWITCH_UNINSTALL,  // "-u"
    SWITCH_INSTALL,    // "-i"
    SWITCH_RUN,        // "-s"
};

// The whole command-line tail decides, compared case-sensitively.
tray_switch parse_tray_switch(const char* tail);
// The four usage lines on standard output.
void print_tray_usage();
