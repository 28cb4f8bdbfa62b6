#pragma once
// Ending the running trays before their file is replaced or removed.
#include "install_log.h"

// Ends every running tray program (they may run in several sessions) and
// waits a little for each to be gone, so its file can be replaced or removed.
// Gives the number ended.
int end_running_trays(setup_report report, void* context);
