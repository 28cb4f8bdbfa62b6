#include "install_log.h"

#include <windows.h>
#include <stdarg.h>
#include <strsafe.h>

void say(setup_report report, void* context, const char* format, ...)
{
    char text[512] = {};
    va_list args;
    va_start(args, format);
    StringCchVPrintfA(text, sizeof text, format, args);
    va_end(args);
    report(context, text);
}
