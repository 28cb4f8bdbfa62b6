#!/usr/bin/env bash
# The 32-bit lane's decision: where the kernel runs no 32-bit programs (the
# probe made to fail with GT_TEST_NO_IA32 or a loader that cannot start), the
# lane is skipped with its one line, wine32 is not wanted by scripts/deps, and
# the demo says plainly that it cannot show the 32-bit programs; where the
# probe runs, the lane's decision follows the installed loader.
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
cd "$repo"
fails=0
check() { # name, then a command that must succeed
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; fails=$((fails + 1)); fi
}
lane32() { bash -c '. scripts/wine-env; gt_lane32_wanted'; }
deps_plan() { ./scripts/deps --plan 2>&1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '#!/bin/sh\necho "cannot execute binary file: Exec format error" >&2\nexit 126\n' >"$work/ld-linux.so.2"
chmod +x "$work/ld-linux.so.2"

for how in GT_TEST_NO_IA32=1 "GT_IA32_LOADER=$work/ld-linux.so.2" "GT_IA32_LOADER=$work/missing"; do
  check "$how: no 32-bit lane" env "$how" bash -c '! { . scripts/wine-env; gt_lane32_wanted; }'
  out=$(env "$how" ./scripts/deps --plan 2>&1)
  check "$how: deps wants no wine32" grep -qx "wine32: not wanted, this kernel runs no 32-bit programs" <<<"$out"
done
out=$(GT_TEST_NO_IA32=1 ./scripts/demo --arch x86 2>&1); rc=$?
check "demo --arch x86 refuses (exit $rc)" test $rc = 1
check "demo says why" test "$out" = "demo: cannot show the 32-bit programs here: this machine's kernel runs no 32-bit programs"
out=$(GT_TEST_NO_IA32=1 ./watchdog/tests/wow64_log_test.sh 2>&1); rc=$?
check "the WOW64 check is skipped (exit $rc)" test $rc = 77
check "with the skip line" test "$out" = "32-bit lane skipped: this machine's kernel runs no 32-bit programs"

if /lib/ld-linux.so.2 --version >/dev/null 2>&1 && [ -z "${GT_TEST_NO_IA32:-}" ]; then
  if [ -x /usr/lib/wine/wine ]; then
    check "this machine runs the 32-bit lane" lane32
  else
    check "deps would install wine32" grep -q "would install: wine32:i386" <<<"$(deps_plan)"
  fi
fi
[ $fails = 0 ]
