#include "failure_text.h"

#include <windows.h>
#include <strsafe.h>

void format_failure(char* out, size_t capacity, const char* call, const char* object,
                    unsigned long error)
{
    StringCchPrintfA(out, capacity, "%s \"%s\" failed (%lu)", call, object, error);
}
