#pragma once
// What a running program holds and has used: handles, private bytes and CPU
// time. Wine 8 reads 0 handles, 0 private bytes and 0 CPU time for another
// process; then the program's Unix side is read instead: its open file
// descriptors, its resident anonymous memory (RssAnon) and its threads'
// run time (schedstat, nanoseconds; CPU ticks of 10 ms where that is missing).
#include <windows.h>
#include <string>

namespace ts {

struct footprint {
    bool from_unix;
    DWORD handles;               // or file descriptors
    SIZE_T private_bytes;        // or resident anonymous bytes
    double cpu_ms;               // user plus kernel time
};

// Unix process id of the Wine process of this Wine prefix running
// `image_name` ("" when none).
std::string unix_process_of(const char* image_name);

// Measures the process; image_name finds its Unix side when Windows' own
// counters read 0. False when neither could be read.
bool measure_footprint(DWORD process_id, const char* image_name, footprint* out);

} // namespace ts
