#!/usr/bin/env bash
# The compatibility gate must reject what would not load on the old systems:
# a Vista-only C runtime import, a too-new PE version, an import by ordinal.
set -u
here=$(cd "$(dirname "$0")" && pwd)
gate="$here/../compat_gate.py"
work=${1:-$(mktemp -d)}
mkdir -p "$work"
fails=0
check() { # name expected-rc pattern-in-output program
  local out rc
  out=$("$gate" "$4" 2>&1); rc=$?
  if [ "$rc" != "$2" ] || ! grep -q -- "$3" <<<"$out"; then
    echo "FAIL $1: rc=$rc, wanted $2 and '$3' in:"; echo "$out"; fails=$((fails + 1))
  else
    echo "ok   $1"
  fi
}
cat > "$work/plain.c" <<'C'
#include <stdio.h>
int main(void) { FILE* f = fopen("x", "r"); if (f) fclose(f); return 0; }
C
cat > "$work/fopen_s.c" <<'C'
#include <stdio.h>
int main(void) { FILE* f = 0; if (fopen_s(&f, "x", "r") == 0) fclose(f); return 0; }
C
flags="-static -s -D_WIN32_WINNT=0x0500"
old="-Wl,--major-subsystem-version,5,--minor-subsystem-version,0,--major-os-version,5,--minor-os-version,0"
i686-w64-mingw32-gcc-win32 $flags $old "$work/plain.c" -o "$work/plain.exe"
i686-w64-mingw32-gcc-win32 $flags $old "$work/fopen_s.c" -o "$work/fopen_s.exe"
i686-w64-mingw32-gcc-win32 $flags "$work/plain.c" -o "$work/new_pe.exe" -Wl,--major-subsystem-version,6,--minor-subsystem-version,0
x86_64-w64-mingw32-gcc-win32 $flags "$work/fopen_s.c" -o "$work/fopen_s64.exe" \
  -Wl,--major-subsystem-version,5,--minor-subsystem-version,2,--major-os-version,5,--minor-os-version,2

check "a plain Windows 2000 program passes" 0 "gate ok" "$work/plain.exe"
check "fopen_s is refused by name (x86)" 1 "msvcrt.dll!fopen_s" "$work/fopen_s.exe"
check "fopen_s is refused by name (x64)" 1 "msvcrt.dll!fopen_s" "$work/fopen_s64.exe"
check "a PE header above 5.0 is refused" 1 "subsystem version" "$work/new_pe.exe"
echo "$((4 - fails)) passed, $fails failed"
[ $fails = 0 ]
