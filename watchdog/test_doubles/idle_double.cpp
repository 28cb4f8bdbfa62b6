// A process that only exists: sleeps for the milliseconds given (30 s by
// default) so tests can look it up by its image name.
#include <windows.h>

#include <stdlib.h>

int main(int argc, char** argv)
{
    Sleep(argc > 1 ? static_cast<DWORD>(atol(argv[1])) : 30000);
    return 0;
}
