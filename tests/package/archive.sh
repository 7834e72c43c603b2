#!/usr/bin/env bash
# The release archive: makes it with CPack, checks that it holds exactly the
# shipped files (nothing of the tests) and that its DLLs load under Wine from
# the unpacked folder: kivo-probe --version loads kivo.dll, and the consumer
# project's load_module (built by the test package_consume) loads the Test
# Camera and finds its COM entry point, without registering it in the test
# prefix that other tests share.
#   archive.sh BUILD_DIR VERSION
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$1
version=$2
work=$build/package-test/archive
name=kivo-$version-win64
zip=$work/$name.zip
load_module=$build/package-test/consume/build/load_module.exe

fail() {
  echo "archive: $*" >&2
  exit 1
}

rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" ||
  fail "cpack failed: $(cat "$work/cpack.log")"
[ -f "$zip" ] || fail "no $zip: $(ls "$work")"

# The files in the archive, below its one top folder.
listing=$(cd "$work" && cmake -E tar tf "$zip" | grep -v '/$' | sort)
outside=$(grep -v "^$name/" <<<"$listing" || true)
[ -z "$outside" ] || fail "entries outside the folder $name: $outside"
files=$(sed "s|^$name/||" <<<"$listing")

expected=(bin/kivo.dll bin/kivo-testcam.dll bin/kivo-probe.exe lib/libkivo.dll.a
  include/kivo/kivo.h include/kivo/kivo_c.h lib/cmake/kivo/kivoConfig.cmake
  lib/cmake/kivo/kivoConfigVersion.cmake lib/cmake/kivo/kivoTargets.cmake
  README.md LICENSE testcam-README.md)
for file in "${expected[@]}"; do
  grep -qx "$file" <<<"$files" || fail "$file is missing"
done
# Every public header, and nothing that is not shipped: a test program,
# googletest, a tool other than kivo-probe, an import library of the Test Camera.
public=$(cd "$root/include" && ls kivo/*.h | sed 's|^|include/|' | sort)
[ "$(grep '^include/' <<<"$files")" = "$public" ] ||
  fail "the headers differ from include/kivo: $(diff <(grep '^include/' <<<"$files") - <<<"$public")"
unexpected=$(grep -Ev '^(bin/(kivo\.dll|kivo-testcam\.dll|kivo-probe\.exe)|lib/libkivo\.dll\.a|lib/cmake/kivo/kivo[A-Za-z-]*\.cmake|include/kivo/[a-z0-9_]+\.h|README\.md|LICENSE|testcam-README\.md)$' <<<"$files" || true)
[ -z "$unexpected" ] || fail "files that are not shipped: $unexpected"
echo "archive: $name.zip holds the $(wc -l <<<"$files") shipped files"

(cd "$work" && cmake -E tar xf "$zip")
unpacked=$work/$name

probe=$("$build/wine-run.sh" "$unpacked/bin/kivo-probe.exe" --version </dev/null 2>&1 | tr -d '\r') ||
  fail "kivo-probe --version failed: $probe"
echo "$probe"
[ "$probe" = "kivo-probe $version"$'\n'"kivo.dll $version" ] || fail "unexpected versions"

[ -f "$load_module" ] || fail "no $load_module: the test package_consume builds it"
testcam=$(echo "Z:$unpacked/bin/kivo-testcam.dll" | tr '/' '\\')
loaded=$("$build/wine-run.sh" "$load_module" "$testcam" DllGetClassObject </dev/null 2>&1 |
  tr -d '\r') || fail "the unpacked Test Camera does not load: $loaded"
echo "$loaded"
