#include "failure_log.h"

#include "failure_text.h"
#include "tray_log.h"

void log_tray_failure(const char* call, const char* object, unsigned long error)
{
    char text[FAILURE_TEXT_CAPACITY] = {};
    format_failure(text, sizeof text, call, object, error);
    write_tray_log(text);
}
