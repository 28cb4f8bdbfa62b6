#pragma once
#include <windows.h>

// Compares two image names, folding only the letters A to Z.
bool image_names_equal(const char* a, const char* b);

// Id of the first process (in enumeration order) whose image base name is
// `name`, skipping the process `skip_id` (0 skips nothing); 0 when none.
DWORD find_process_by_name_except(const char* name, DWORD skip_id);

// The first match, the calling process included.
DWORD find_process_by_name(const char* name);

// Ends the process with exit code 1; 1 on success, else 0.
int terminate_process_by_id(DWORD id);
