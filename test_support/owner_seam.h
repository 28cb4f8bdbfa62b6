#pragma once
// The owner the test builds of the watchdog and of the setup actions read of
// a file (Wine keeps no owners): the SID text of TEST_LOG_OWNER_ENV, for
// every file or, when TEST_OWNED_FILE_ENV is set ("<index high>:<index low>"
// of GetFileInformationByHandle), for that file only; else the real owner.
// Read at every call: in-process tests change the variables between calls.
#include <windows.h>
#include <sddl.h>
#include <stdio.h>

#include "guarded_files.h"
#include "seam_env.h"
#include "watchdog_seams.h"

inline file_owner made_up_or_read_owner(HANDLE file)
{
    char text[128] = {};
    if (!seam_env_text(TEST_LOG_OWNER_ENV, text, sizeof text))
        return read_file_owner_of_object(file);
    char wanted[64] = {};
    if (seam_env_text(TEST_OWNED_FILE_ENV, wanted, sizeof wanted)) {
        BY_HANDLE_FILE_INFORMATION info = {};
        char index[64] = {};
        GetFileInformationByHandle(file, &info);
        snprintf(index, sizeof index, "%lu:%lu", info.nFileIndexHigh, info.nFileIndexLow);
        if (strcmp(index, wanted) != 0)
            return read_file_owner_of_object(file);
    }
    unique_local<PSID> made_up;
    if (!ConvertStringSidToSidA(text, made_up.put()))
        return OWNER_UNKNOWN;
    return classify_owner(made_up.get(), nullptr);
}
