#include "actions.h"
#include "command_line.h"
#include "service_install.h"
#include "test_seams.h"

int main(int argc, char** argv)
{
#ifdef GT_TEST_SEAMS
    apply_test_seams();
#endif
    switch (parse_command_line(argc, argv)) {
    case ACTION_FOREGROUND:
        return run_foreground();
    case ACTION_INSTALL:
        install_service();
        return 0;
    case ACTION_SERVICE:
        return run_as_service();
    case ACTION_REMOVE:
        return remove_watchdog();
    case ACTION_USAGE:
        break;
    }
    print_usage(usage_program_name(argc, argv));
    return 1;
}
