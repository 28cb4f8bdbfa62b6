#!/usr/bin/env bash
# A newer build of the same sources (the next version), of one architecture,
# signed with a throw-away certificate made here: every signature verifies
# against the throw-away CA, the unsigned package in dist/ carries none, and
# a signed package is still reproducible. Leaves WORK/dist/ARCH for the Wine
# test.
#   signed_build_test.sh WORK [x64|x86]      (GT_DIST as for scripts/test)
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$1" && work=$(cd "$1" && pwd)
arch=${2:-x64}
dist=${GT_DIST:-dist}
[[ $dist = /* ]] || dist=$repo/$dist
passes=0 fails=0
check() { # name, then a command that must succeed
  if "${@:2}" >"$work/check.out" 2>&1; then echo "ok   $1"; passes=$((passes + 1))
  else echo "FAIL $1"; cat "$work/check.out"; fails=$((fails + 1)); fi
}
refused() { ! "$@"; }

cd "$work" && rm -f ./*.pem ./*.key ./*.csr ./*.srl
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Throwaway Test CA" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null &&
openssl req -newkey rsa:2048 -nodes -keyout sign.key -out sign.csr -subj "/CN=Throwaway Code Signing" 2>/dev/null &&
printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >leaf.cnf &&
openssl x509 -req -in sign.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile leaf.cnf \
        -out sign.pem 2>/dev/null || { echo "FAIL making the throw-away certificate"; exit 1; }

IFS=. read -r major minor build _ <"$repo/VERSION"
newer="$major.$minor.$((build + 1)).0"
export GT_SIGN_CERT=$work/sign.pem GT_SIGN_KEY=$work/sign.key
(cd "$repo" && GT_ARCHS=$arch GT_VERSION=$newer GT_BUILD_ROOT="$work/build" GT_DIST="$work/dist" \
   ./scripts/build) || { echo "FAIL building $newer"; exit 1; }
echo "== built $newer, signed"

for file in "$work"/dist/$arch/*.exe "$work"/dist/$arch/*.msi "$work"/build/$arch/package/stage/setup_actions.dll; do
  check "${file##*/} is signed and verifies" osslsigncode verify -CAfile ca.pem -in "$file"
done
check "the unsigned build's package carries no signature" \
  refused osslsigncode verify -CAfile ca.pem -in "$dist/$arch/ondrix-tools-$arch.msi"
check "the package says version $newer" \
  grep -qx "ProductVersion	$newer" <(msiinfo export "$work/dist/$arch/ondrix-tools-$arch.msi" Property | tr -d '\r')
sleep 1.1  # a time taken from the clock would differ
"$repo/installer/make_package.py" --arch $arch --bin "$work/build/$arch/bin" --work "$work/again" \
                                  --out "$work/again.msi" >/dev/null
check "a signed package is reproducible" cmp "$work/again.msi" "$work/dist/$arch/ondrix-tools-$arch.msi"
echo "$passes passed, $fails failed"
[ $fails = 0 ]
