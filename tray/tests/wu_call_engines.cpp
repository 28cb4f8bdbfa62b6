// Engines for the emulated shutdown check of the x86 build: one takes its
// argument off the stack (stdcall), one leaves it to the caller (cdecl).
// Each sets the integer to a value of its own and spoils the registers a
// callee may spoil.
extern "C" {

__attribute__((stdcall)) int engine_stdcall(int* installs)
{
    *installs = 0x5D;
    __asm__ __volatile__("movl $-1, %%ecx\n\tmovl $-1, %%edx" ::: "ecx", "edx");
    return -1;
}

__attribute__((cdecl)) int engine_cdecl(int* installs)
{
    *installs = 0xCD;
    __asm__ __volatile__("movl $-1, %%ecx\n\tmovl $-1, %%edx" ::: "ecx", "edx");
    return -1;
}

// The call as it was made before: through a stdcall prototype.
int plain_call(void* check)
{
    int installs = 0;
    reinterpret_cast<__attribute__((stdcall)) int (*)(int*)>(check)(&installs);
    return installs;
}

void entry() {}
}
