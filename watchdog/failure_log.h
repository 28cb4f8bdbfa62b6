#pragma once

// Logs a failed call in the watchdog log: the call, what it was made on and
// its error (GetLastError or the returned code).
void log_daemon_failure(const char* call, const char* object, unsigned long error);
