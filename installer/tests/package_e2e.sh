#!/usr/bin/env bash
# Runs package_e2e_test.exe in a Wine prefix made anew, with its own X display,
# desktop and warm wineserver and the BIOS manufacturer of a KVM guest
# (scripts/wine-env), all ended afterwards, also on failure. It gets the
# shipped x64 package (GT_DIST, as for scripts/test), the newer build that
# signed_build_test.sh left in NEWER_WORK, the x86 package, and a copy of the
# newer package that fails at its end (make_failing_package.py).
#   package_e2e.sh TEST.exe NEWER_WORK PREFIX_DIR [gtest options]
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
test_exe=$1 newer=$(realpath -m "$2") prefix=$(realpath -m "$3")
dist=${GT_DIST:-dist}
[[ $dist = /* ]] || dist=$repo/$dist
rm -rf "$prefix"
failing=$newer/failing/ondrix-tools-x64.msi
/usr/bin/python3 "$repo/installer/tests/make_failing_package.py" "$newer/dist/x64/ondrix-tools-x64.msi" "$failing" ||
  { echo "FAIL making the failing package"; exit 1; }
unset DISPLAY_FOR_TESTS
. "$repo/scripts/wine-env"
trap gt_wine_stop EXIT
start=$(date +%s.%N)
gt_wine_start "$prefix"
echo "== fresh prefix ready in $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $start }") s"
wine "$test_exe" "${@:4}" "$(winepath -w "$dist/x64")" "$(winepath -w "$newer/dist/x64")" \
     "$(winepath -w "$dist/x86/ondrix-tools-x86.msi")" "$(winepath -w "$failing")"
