#pragma once
// The installation log, as the custom actions write it: the DLL's entries
// hand their work a report that forwards each line to Windows Installer.

// One line for the installation log.
typedef void (*setup_report)(void* context, const char* text);

// One formatted line (at most 511 characters) to the report.
__attribute__((format(printf, 3, 4)))
void say(setup_report report, void* context, const char* format, ...);
