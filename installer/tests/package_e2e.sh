#!/usr/bin/env bash
# Runs package_e2e_test.exe in a Wine prefix made anew, with its own X display,
# desktop and warm wineserver and the BIOS manufacturer of a KVM guest
# (scripts/wine-env), all ended afterwards, also on failure. It gets the
# shipped package of ARCH (GT_DIST, as for scripts/test), the newer build that
# signed_build_test.sh left in NEWER_WORK, the other architecture's package,
# and a copy of the newer package that fails at its very end (after
# PublishProduct, before InstallFinalize: type 3073 is a DLL action, deferred,
# as LocalSystem, checked). x64 runs in a 64-bit prefix, x86 in a 32-bit-only
# one: the x86 package is for 32-bit Windows only.
#   package_e2e.sh TEST.exe NEWER_WORK PREFIX_DIR x64|x86 [gtest options]
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
test_exe=$1 newer=$(realpath -m "$2") prefix=$(realpath -m "$3") arch=$4
dist=${GT_DIST:-dist}
[[ $dist = /* ]] || dist=$repo/$dist
case $arch in
  x64) other=x86 winearch=win64 ;;
  x86) other=x64 winearch=win32 ;;
  *) echo "package_e2e.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
rm -rf "$prefix"
# The newer package with a last action that fails (the folder action on a
# folder that is not there; a deferred action reads the property of its name).
failing=$newer/failing/ondrix-tools-$arch.msi
mkdir -p "${failing%/*}" && cp "$newer/dist/$arch/ondrix-tools-$arch.msi" "$failing" &&
msibuild "$failing" -q "INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('FailAtTheEnd', 'C:\\gt-no-such-folder')" &&
msibuild "$failing" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('FailAtTheEnd', 3073, 'SetupActions', 'SetMonitorRights')" &&
msibuild "$failing" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('FailAtTheEnd', 6590)" ||
  { echo "FAIL making the failing package"; exit 1; }
unset DISPLAY_FOR_TESTS
. "$repo/scripts/wine-env"
trap gt_wine_stop EXIT
start=$(date +%s.%N)
gt_wine_start "$prefix" $winearch
echo "== fresh $winearch prefix ready in $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $start }") s"
gt_wine "$test_exe" "${@:5}" "$(gt_wine winepath -w "$dist/$arch")" "$(gt_wine winepath -w "$newer/dist/$arch")" \
     "$(gt_wine winepath -w "$dist/$other/ondrix-tools-$other.msi")" "$(gt_wine winepath -w "$failing")"
