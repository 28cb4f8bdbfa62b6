#!/usr/bin/env bash
# The seam scan must find a seam's text in either encoding, take the texts
# from the seams headers as C reads them, and find the seams the test build's
# programs really carry (where the shipped ones must carry none).
#   seam_scan_test.sh WORK_DIR TEST_BUILD_WATCHDOG TEST_BUILD_TRAY
set -u
here=$(cd "$(dirname "$0")" && pwd)
scan="$here/../seam_scan.py"
work=${1:-$(mktemp -d)}
programs=("${2:?the watchdog of the test build}" "${3:?the tray of the test build}")
mkdir -p "$work/seams"
fails=0 cases=0
check() { # name expected-rc pattern-in-output scan-arguments...
  local name=$1 want=$2 pattern=$3 out rc
  shift 3
  cases=$((cases + 1))
  out=$("$scan" "$@" 2>&1); rc=$?
  if [ "$rc" != "$want" ] || ! grep -qF -- "$pattern" <<<"$out"; then
    echo "FAIL $name: rc=$rc, wanted $want and '$pattern' in:"; echo "$out"; fails=$((fails + 1))
  else
    echo "ok   $name"
  fi
}
# A made-up seams header: a registry key written with C escapes.
cat > "$work/seams/made_up_seams.h" <<'H'
#pragma once
#define MADE_UP_KEY "Software\\MadeUp\\Key"   // HKEY_LOCAL_MACHINE
H
/usr/bin/python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
def write(name, data):
    with open("%s/%s" % (work, name), "wb") as f:
        f.write(b"MZ\x90\x00" + b"\x00" * 60 + data + b"\x00" * 16)
write("clean.bin", b"Software\\Microsoft\\Windows\\CurrentVersion\\Run\x00gt_tes\x00G_T_\x00")
write("key_utf16.bin", "Software\\MadeUp\\Key".encode("utf-16le"))
write("prefix_utf16.bin", "C:\\gt_test\\x.txt".encode("utf-16le"))
PY
seams=(--seams-dir "$work/seams")
check "a file without seam texts passes" 0 "0 failed" "${seams[@]}" "$work/clean.bin"
check "a header's escaped key is found in UTF-16LE" 1 "'Software\\\\MadeUp\\\\Key' (utf-16le)" \
      "${seams[@]}" "$work/key_utf16.bin"
check "the gt_test prefix is found in UTF-16LE" 1 "'gt_test' (utf-16le)" "${seams[@]}" "$work/prefix_utf16.bin"
check "a file that cannot be read fails the scan" 1 "cannot read" "${seams[@]}" "$work/missing.exe"
check "a clean file fails where seams are expected" 1 "no seam text found" \
      --expect-found "${seams[@]}" "$work/clean.bin"
# The real thing: the test build's programs carry their seams, so the scan
# that passes the shipped ones would catch seams left in them.
check "the test build's programs hold seam texts" 0 "0 failed" \
      --expect-found "${programs[@]}"
check "the test build's programs fail the shipped files' scan" 1 "2 failed" \
      "${programs[@]}"
echo "$((cases - fails)) passed, $fails failed"
[ $fails = 0 ]
