#!/usr/bin/python3
"""Compatibility gate: a program must load on Windows 2000 (i686) or
Windows XP x64 / Server 2003 (x86_64).

Checks the PE header's OS and subsystem versions against the floor, refuses
delay-load and by-ordinal imports, and looks up every imported dll!function
in the allow lists with its first Windows version. Prints every failure with
its name and exits 1 when there is any.
"""
import os
import sys

import pefile

ORDER = ["NT4", "98", "98SE", "2000", "2000SP4", "XP", "XPSP2", "2003", "2003SP1",
         "Vista", "7", "8", "8.1", "10", "11"]
FLOOR = {"i386": ("2000", (5, 0)), "x64": ("2003SP1", (5, 2))}
HERE = os.path.dirname(os.path.abspath(__file__))
LISTS = [os.path.join(HERE, "win2000-allowlist.txt"), os.path.join(HERE, "allowlist-extra.txt")]


def load_allowlist(paths):
    table = {}
    for path in paths:
        with open(path, encoding="utf-8") as f:
            for line in f:
                line = line.strip()
                if not line or line.startswith("#"):
                    continue
                parts = line.split()
                if len(parts) < 2 or "!" not in parts[0]:
                    continue
                dll, func = parts[0].split("!", 1)
                table[(dll.lower(), func)] = parts[1]
    return table


def first_version(entry, arch):
    """The first version on `arch` named by an allow-list entry, or None."""
    if "=" not in entry:
        return entry
    for part in entry.split("/"):
        key, _, tag = part.partition("=")
        if key == arch:
            return tag
    return None


def check(path, table):
    errors = []
    pe = pefile.PE(path)
    machine = pe.FILE_HEADER.Machine
    if machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]:
        arch = "i386"
    elif machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]:
        arch = "x64"
    else:
        return ["%s: unknown machine 0x%x" % (path, machine)]
    floor_tag, floor_ver = FLOOR[arch]
    opt = pe.OPTIONAL_HEADER
    for label, ver in (("OS version", (opt.MajorOperatingSystemVersion, opt.MinorOperatingSystemVersion)),
                       ("subsystem version", (opt.MajorSubsystemVersion, opt.MinorSubsystemVersion))):
        if ver > floor_ver:
            errors.append("%s: %s %d.%d above %d.%d" % (path, label, ver[0], ver[1], *floor_ver))
    if hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for d in pe.DIRECTORY_ENTRY_DELAY_IMPORT:
            errors.append("%s: delay-load import of %s" % (path, d.dll.decode()))
    for d in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        dll = d.dll.decode().lower()
        for imp in d.imports:
            if imp.name is None:
                errors.append("%s: %s imported by ordinal %d" % (path, dll, imp.ordinal))
                continue
            name = imp.name.decode()
            entry = table.get((dll, name))
            if entry is None:
                errors.append("%s: %s!%s is not on the allow list" % (path, dll, name))
                continue
            tag = first_version(entry, arch)
            if tag in (None, "-"):
                errors.append("%s: %s!%s is not exported on %s" % (path, dll, name, arch))
            elif tag not in ORDER:
                errors.append("%s: %s!%s first version %s is not established" % (path, dll, name, tag))
            elif ORDER.index(tag) > ORDER.index(floor_tag):
                errors.append("%s: %s!%s needs Windows %s (floor %s)" % (path, dll, name, tag, floor_tag))
    return errors


def main(argv):
    if len(argv) < 2:
        print("usage: compat_gate.py PROGRAM.exe...", file=sys.stderr)
        return 2
    table = load_allowlist(LISTS)
    failures = []
    for path in argv[1:]:
        errs = check(path, table)
        failures += errs
        print("gate %s: %s" % ("FAIL" if errs else "ok  ", path))
    for e in failures:
        print("  " + e)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
