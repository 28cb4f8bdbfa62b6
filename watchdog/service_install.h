#pragma once
#include <windows.h>

// The service's command line: the program path in quotes, a blank, -s.
// command must hold SERVICE_COMMAND_CAPACITY characters.
#define SERVICE_COMMAND_CAPACITY 270
void format_service_command(const char* program_path, char* command);

// Registers "SenDrikHald" (own process, automatic start, LocalSystem) for this
// program; the outcome goes to the log.
void install_service();
// Writes the service's "Description" value; called by install_service.
void set_service_description();
// Deletes "SenDrikHald"; the outcome goes to the log.
void uninstall_service();

// Bytes written for the description: its text without the terminating NUL.
DWORD description_data_size();
