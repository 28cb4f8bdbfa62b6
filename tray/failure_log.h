#pragma once

// Logs a failed call in the tray log: the call, what it was made on and its
// error (GetLastError or the returned code).
void log_tray_failure(const char* call, const char* object, unsigned long error);
