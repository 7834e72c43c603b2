#!/usr/bin/env bash
# Uses kivo as another project would: installs the build into a prefix,
# configures tests/consumer against it with find_package(kivo), builds the C++
# and the C host and runs both under Wine, beside the installed kivo.dll.
# Each must exit 0, list the KIVO Test Camera (registered by the test
# session) and report the project's version or the DirectX version.
#   consume.sh BUILD_DIR TOOLCHAIN_FILE VERSION
# Leaves its work in BUILD_DIR/package-test/consume; the archive test uses the
# load_module program built here.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$1
toolchain=$2
version=$3
work=$build/package-test/consume
prefix=$work/prefix

fail() {
  echo "consume: $*" >&2
  exit 1
}

rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

# The package registry could hand CMake another kivo than this prefix's.
cmake -S "$here/../consumer" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_PREFIX_PATH="$prefix" -DKIVO_EXPECTED_VERSION="$version" \
  -DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON >"$work/configure.log" ||
  fail "configuring the consumer failed: $(cat "$work/configure.log")"
found=$(sed -n 's/^kivo_DIR:PATH=//p' "$work/build/CMakeCache.txt")
[ "$found" = "$prefix/lib/cmake/kivo" ] || fail "kivo was found in '$found', not in the prefix"
cmake --build "$work/build" >"$work/build.log" || fail "building failed: $(cat "$work/build.log")"

# A Windows host keeps kivo.dll beside its program.
cp "$prefix/bin/kivo.dll" "$work/build/"

# Runs a host under Wine; its output, without carriage returns, on stdout.
run_host() {
  local output status=0
  output=$("$build/wine-run.sh" "$work/build/$1" </dev/null 2>&1) || status=$?
  echo "$output" | tr -d '\r'
  [ $status -eq 0 ] || fail "$1 exited with $status"
}

expect_line() {
  grep -qx -- "$2" <<<"$1" || fail "no line '$2' in:"$'\n'"$1"
}

cpp=$(run_host consumer_cpp.exe)
echo "$cpp"
expect_line "$cpp" "device: KIVO Test Camera"
expect_line "$cpp" "DirectX [0-9][0-9.]*[a-z]*"

c=$(run_host consumer_c.exe)
echo "$c"
expect_line "$c" "kivo $version"
expect_line "$c" "device: KIVO Test Camera"
echo "consume: both hosts ran against the package in $prefix"
