#!/usr/bin/python3
"""The x86 tray's call of the update engine's shutdown check, run on an
emulated i386 CPU (32-bit programs cannot run here): built with the shipped
compiler and flags into a PE without imports, together with an engine of
each calling convention, and called from a stack with a sentinel return
address. The stack pointer, the callee-saved registers and the integer the
engine set must all be right after the return.
    wu_call_convention_test.py OUT_DIR COMPILER "FLAGS" SOURCE...
"""
import os
import shlex
import subprocess
import sys

import pefile
from unicorn import Uc, UcError, UC_ARCH_X86, UC_MODE_32
from unicorn.x86_const import (UC_X86_REG_EAX, UC_X86_REG_EBP, UC_X86_REG_EBX,
                               UC_X86_REG_EDI, UC_X86_REG_EIP, UC_X86_REG_ESI,
                               UC_X86_REG_ESP)

STACK, STACK_SIZE = 0x00100000, 0x10000
SENTINEL = 0x0BAD0000   # unmapped: the emulation stops on arriving there
SAVED = {UC_X86_REG_EBX: 0x0EB0EB0E, UC_X86_REG_ESI: 0x05105105,
         UC_X86_REG_EDI: 0x0D10D10D, UC_X86_REG_EBP: 0x0B9B9B9B}
ENGINE_VALUE = {"engine_stdcall": 0x5D, "engine_cdecl": 0xCD}
# caller, engine, whether the call must come out right
ROWS = [("call_wu_check", "engine_stdcall", True),
        ("call_wu_check", "engine_cdecl", True),
        ("plain_call", "engine_stdcall", True),
        ("plain_call", "engine_cdecl", False)]   # the stdcall prototype: ESP off


def build(out_dir, compiler, flags, sources):
    os.makedirs(out_dir, exist_ok=True)
    objects = []
    for source in sources:
        obj = os.path.join(out_dir, os.path.basename(source) + ".o")
        subprocess.run([compiler, *shlex.split(flags), "-c", source, "-o", obj], check=True)
        objects.append(obj)
    exe = os.path.join(out_dir, "wu_calls.exe")
    subprocess.run([compiler, "-nostdlib", "-nostartfiles", "-Wl,-e,_entry",
                    "-Wl,--export-all-symbols,--kill-at", *objects, "-o", exe], check=True)
    return exe


def call(pe, exports, caller, engine):
    """Gives (ESP right, callee-saved registers kept, EAX) or an error text."""
    cpu = Uc(UC_ARCH_X86, UC_MODE_32)
    base = pe.OPTIONAL_HEADER.ImageBase
    image = pe.get_memory_mapped_image()
    cpu.mem_map(base, (len(image) + 0xFFF) & ~0xFFF)
    cpu.mem_write(base, image)
    cpu.mem_map(STACK, STACK_SIZE)
    esp = STACK + STACK_SIZE // 2
    cpu.mem_write(esp, SENTINEL.to_bytes(4, "little") + exports[engine].to_bytes(4, "little"))
    cpu.reg_write(UC_X86_REG_ESP, esp)
    for register, value in SAVED.items():
        cpu.reg_write(register, value)
    try:
        cpu.emu_start(exports[caller], SENTINEL, count=1000)
    except UcError as error:
        return "%s at 0x%x" % (error, cpu.reg_read(UC_X86_REG_EIP))
    return (cpu.reg_read(UC_X86_REG_ESP) == esp + 4,
            all(cpu.reg_read(r) == v for r, v in SAVED.items()),
            cpu.reg_read(UC_X86_REG_EAX))


def main():
    out_dir, compiler, flags, *sources = sys.argv[1:]
    pe = pefile.PE(build(out_dir, compiler, flags, sources))
    assert not any(entry.imports for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])), \
        "the image must import nothing"
    base = pe.OPTIONAL_HEADER.ImageBase
    exports = {s.name.decode(): base + s.address for s in pe.DIRECTORY_ENTRY_EXPORT.symbols}
    failed = 0
    for caller, engine, must_be_right in ROWS:
        outcome = call(pe, exports, caller, engine)
        right = outcome == (True, True, ENGINE_VALUE[engine])
        verdict = "ok" if right == must_be_right else "FAILED"
        failed += right != must_be_right
        print("%-6s %s through %s: %s (expected %s)"
              % (verdict, caller, engine, outcome, "right" if must_be_right else "wrong"))
    print("%d of %d rows failed" % (failed, len(ROWS)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
