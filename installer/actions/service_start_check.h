#pragma once
// Whether the package starts the watchdog service it installs.
#include "install_log.h"

// The platform check of the programs (SystemManufacturer readable and not
// beginning with "Xen"), made for the package: true when the service may be
// started. Says in the log what it found and what follows.
bool service_can_start(setup_report report, void* context);
