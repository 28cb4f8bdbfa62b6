#pragma once
#include <windows.h>

// Compares two image names, folding only the letters A to Z.
bool image_names_equal(const char* a, const char* b);

// Calls visit for every process, in enumeration order, whose image base
// name is `name`, with a handle opened with PROCESS_QUERY_INFORMATION |
// PROCESS_VM_READ | extra_access on which the name was read: whatever visit
// does through it reaches the process that was looked at, however its id is
// reused meanwhile. visit returns false to stop. max_ids bounds the ids
// looked at (0: every running process).
typedef bool (*process_visit)(HANDLE process, DWORD id, void* context);
void for_each_process_named(const char* name, DWORD extra_access, size_t max_ids, process_visit visit,
                            void* context);

// Id of the first process (in enumeration order) whose image base name is
// `name`, skipping the process `skip_id` (0 skips nothing); 0 when none.
DWORD find_process_by_name_except(const char* name, DWORD skip_id);

// The first match, the calling process included.
DWORD find_process_by_name(const char* name);

// Ends the process with exit code 1; 1 on success, else 0.
int terminate_process_by_id(DWORD id);
