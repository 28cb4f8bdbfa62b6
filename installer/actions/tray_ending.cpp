#include "tray_ending.h"

#include <windows.h>

#include "contract.h"
#include "process_lookup.h"

namespace {

const DWORD TRAY_END_WAIT_MS = 5000;

} // namespace

int end_running_trays(setup_report report, void* context)
{
    struct ending {
        setup_report report;
        void* context;
        int ended;
    } run = {report, context, 0};
    // Every tray of every session: ended through the handle its name was read
    // on; one that cannot be ended (a look-alike of another account) is passed.
    for_each_process_named(TRAY_IMAGE_NAME, PROCESS_TERMINATE | SYNCHRONIZE, 0,
                           [](HANDLE process, DWORD id, void* context_) {
        ending* e = static_cast<ending*>(context_);
        if (!TerminateProcess(process, 1)) {
            DWORD error = GetLastError();
            say(e->report, e->context, "cannot end " TRAY_IMAGE_NAME " (process %lu, error %lu)", id, error);
            return true;
        }
        WaitForSingleObject(process, TRAY_END_WAIT_MS);
        say(e->report, e->context, "ended " TRAY_IMAGE_NAME " (process %lu)", id);
        ++e->ended;
        return true;
    }, &run);
    return run.ended;
}
