// A "Cmd.exe" planted beside the watchdog by a test: records its command
// line and exits 0, so that a run of it cannot pass unnoticed.
#include "double_control.h"
#include "double_io.h"

#include <windows.h>

int main()
{
    record_call(PLANTED_CMD_CALLS_LOG, GetCommandLineA());
    return 0;
}
