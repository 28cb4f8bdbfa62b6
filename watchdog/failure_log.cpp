#include "failure_log.h"

#include "daemon_log.h"
#include "failure_text.h"

void log_daemon_failure(const char* call, const char* object, unsigned long error)
{
    char text[FAILURE_TEXT_CAPACITY] = {};
    format_failure(text, sizeof text, call, object, error);
    write_daemon_log("%s", text);
}
