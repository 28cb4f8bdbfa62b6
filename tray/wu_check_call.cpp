#include "wu_check_call.h"

// The engine's calling convention is not published: it may take its
// argument off the stack itself (stdcall) or leave that to the caller
// (cdecl). On x86 the stack pointer is kept in ESI, which both preserve, and
// put back after the call, whatever the engine did. x64 has one convention.
int call_wu_check(void* check)
{
    int installs = 0;
#if defined(__i386__)
    int* argument = &installs;
    __asm__ __volatile__("movl %%esp, %%esi\n\t"
                         "pushl %0\n\t"
                         "call *%1\n\t"
                         "movl %%esi, %%esp"
                         :
                         : "r"(argument), "r"(check)
                         : "eax", "ecx", "edx", "esi", "memory", "cc");
#else
    reinterpret_cast<int (*)(int*)>(check)(&installs);
#endif
    return installs;
}
