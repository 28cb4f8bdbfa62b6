#!/usr/bin/env bash
# Runs package_e2e_test.exe in a Wine prefix made anew, with its own X display,
# desktop and warm wineserver and the BIOS manufacturer of a KVM guest
# (scripts/wine-env), all ended afterwards, also on failure. It gets the
# shipped x64 package (GT_DIST, as for scripts/test), the newer build that
# signed_build_test.sh left in NEWER_WORK, the x86 package, and a copy of the
# newer package that fails at its very end (after PublishProduct, before
# InstallFinalize: type 3073 is a DLL action, deferred, as LocalSystem, checked).
#   package_e2e.sh TEST.exe NEWER_WORK PREFIX_DIR [gtest options]
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
test_exe=$1 newer=$(realpath -m "$2") prefix=$(realpath -m "$3")
dist=${GT_DIST:-dist}
[[ $dist = /* ]] || dist=$repo/$dist
rm -rf "$prefix"
# The newer package with a last action that fails (the folder action on a
# folder that is not there; a deferred action reads the property of its name).
failing=$newer/failing/ondrix-tools-x64.msi
mkdir -p "${failing%/*}" && cp "$newer/dist/x64/ondrix-tools-x64.msi" "$failing" &&
msibuild "$failing" -q "INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('FailAtTheEnd', 'C:\\gt-no-such-folder')" &&
msibuild "$failing" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('FailAtTheEnd', 3073, 'SetupActions', 'SetMonitorRights')" &&
msibuild "$failing" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('FailAtTheEnd', 6590)" ||
  { echo "FAIL making the failing package"; exit 1; }
unset DISPLAY_FOR_TESTS
. "$repo/scripts/wine-env"
trap gt_wine_stop EXIT
start=$(date +%s.%N)
gt_wine_start "$prefix"
echo "== fresh prefix ready in $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $start }") s"
wine "$test_exe" "${@:4}" "$(winepath -w "$dist/x64")" "$(winepath -w "$newer/dist/x64")" \
     "$(winepath -w "$dist/x86/ondrix-tools-x86.msi")" "$(winepath -w "$failing")"
