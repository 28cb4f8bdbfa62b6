#include "tray_log.h"

bool get_program_files_dir(char*)
{
    return false;
}

void write_tray_log(const char*, const char*) {}

void trim_tray_log() {}
