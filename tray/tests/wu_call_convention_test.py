#!/usr/bin/python3
"""The 32-bit tray's call of the update engine on an emulated i386 CPU:
built with the shipped compiler and flags into a PE without imports, with an
engine of each calling convention, and called from a stack with a sentinel
return address. ESP, the callee-saved registers and the integer the engine
set must be right after the return.
    wu_call_convention_test.py OUT_DIR COMPILER "FLAGS" SOURCE...
"""
import os, shlex, subprocess, sys

import pefile
from unicorn import Uc, UcError, UC_ARCH_X86, UC_MODE_32
from unicorn.x86_const import *

STACK, SENTINEL = 0x100000, 0x0BAD0000   # the sentinel is not mapped
SAVED = {UC_X86_REG_EBX: 0x0EB0EB0E, UC_X86_REG_ESI: 0x05105105,
         UC_X86_REG_EDI: 0x0D10D10D, UC_X86_REG_EBP: 0x0B9B9B9B}
ENGINE_VALUE = {"engine_stdcall": 0x5D, "engine_cdecl": 0xCD}
ROWS = [("call_wu_check", "engine_stdcall", True),
        ("call_wu_check", "engine_cdecl", True),
        ("plain_call", "engine_stdcall", True),
        ("plain_call", "engine_cdecl", False)]   # the old stdcall prototype: ESP off


def build(out_dir, compiler, flags, sources):
    os.makedirs(out_dir, exist_ok=True)
    objects = [os.path.join(out_dir, os.path.basename(s) + ".o") for s in sources]
    for source, obj in zip(sources, objects):
        subprocess.run([compiler, *shlex.split(flags), "-c", source, "-o", obj], check=True)
    exe = os.path.join(out_dir, "wu_calls.exe")
    subprocess.run([compiler, "-nostdlib", "-Wl,-e,_entry,--export-all-symbols,--kill-at",
                    *objects, "-o", exe], check=True)
    return pefile.PE(exe)


def call(pe, address, argument):
    cpu = Uc(UC_ARCH_X86, UC_MODE_32)
    image = pe.get_memory_mapped_image()
    cpu.mem_map(pe.OPTIONAL_HEADER.ImageBase, (len(image) + 0xFFF) & ~0xFFF)
    cpu.mem_write(pe.OPTIONAL_HEADER.ImageBase, image)
    cpu.mem_map(STACK, 0x10000)
    esp = STACK + 0x8000
    cpu.mem_write(esp, SENTINEL.to_bytes(4, "little") + argument.to_bytes(4, "little"))
    cpu.reg_write(UC_X86_REG_ESP, esp)
    for register, value in SAVED.items():
        cpu.reg_write(register, value)
    try:
        cpu.emu_start(address, SENTINEL, count=1000)
    except UcError as error:
        return "%s at 0x%x" % (error, cpu.reg_read(UC_X86_REG_EIP))
    return (cpu.reg_read(UC_X86_REG_ESP) - esp,
            all(cpu.reg_read(r) == v for r, v in SAVED.items()), cpu.reg_read(UC_X86_REG_EAX))


def main():
    out_dir, compiler, flags, *sources = sys.argv[1:]
    pe = build(out_dir, compiler, flags, sources)
    assert not any(d.imports for d in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []))
    exports = {s.name.decode(): pe.OPTIONAL_HEADER.ImageBase + s.address
               for s in pe.DIRECTORY_ENTRY_EXPORT.symbols}
    failed = 0
    for caller, engine, must_be_right in ROWS:
        outcome = call(pe, exports[caller], exports[engine])
        right = outcome == (4, True, ENGINE_VALUE[engine])   # 4: the return address popped
        failed += right != must_be_right
        print("%s %s through %s: %s, expected %s" % ("ok" if right == must_be_right else "FAILED",
              caller, engine, outcome, "right" if must_be_right else "wrong"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
