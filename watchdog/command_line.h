#pragma once

enum watchdog_action {
    ACTION_USAGE,       // usage text, exit code 1
    ACTION_FOREGROUND,  // "-d"
    ACTION_INSTALL,     // "-i"
    ACTION_SERVICE,     // "-s"
    ACTION_REMOVE,      // "-u"
};

// Exactly one argument of two characters, '-' and a lower-case letter.
watchdog_action parse_command_line(int argc, const char* const* argv);

// The name the usage text shows: argv[0], or "sen_drik_hald" without any word.
const char* usage_program_name(int argc, const char* const* argv);

void print_usage(const char* program_name);
