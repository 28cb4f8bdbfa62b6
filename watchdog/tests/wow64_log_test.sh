#!/usr/bin/env bash
# The shipped 32-bit watchdog started by hand in the suite's 64-bit prefix
# (WOW64, as on 64-bit Windows): "-u" without a service logs its one line
# under "C:\Program Files (x86)\virtio\monitor", and nothing under
# "C:\Program Files". Exits 77 (skipped) where no 32-bit program runs.
#   wow64_log_test.sh      (in the prefix of scripts/test; GT_DIST as there)
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
. "$repo/scripts/wine-env"
if ! gt_lane32_wanted; then
  echo "$GT_LANE32_SKIP_LINE"
  exit 77
fi
dist=${GT_DIST:-dist}
[[ $dist = /* ]] || dist=$repo/$dist
drive=$WINEPREFIX/drive_c
x86_log="$drive/Program Files (x86)/virtio/monitor/sen-drik-hald.log"
native_log="$drive/Program Files/virtio/monitor/sen-drik-hald.log"
mkdir -p "${x86_log%/*}" "${native_log%/*}"
rm -f "$x86_log" "$native_log"
"$GT_WINE32" "$dist/x86/sen-drik-hald.exe" -u >/dev/null 2>&1
rc=$?
fails=0
expect() { if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; fails=$((fails + 1)); fi; }
expect "the 32-bit watchdog ends with 0 (got $rc)" test $rc = 0
expect "it logs under Program Files (x86)" \
  grep -qE '^[0-9-]{10} [0-9:]{8} : \[VM-Daemon\] OpenService failed \(1060\)' "$x86_log"
expect "nothing under Program Files" test ! -e "$native_log"
rm -rf "$drive/Program Files (x86)/virtio"
[ $fails = 0 ]
