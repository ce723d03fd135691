#!/usr/bin/env bash
# The C library as a user gets it: configures without Python, GoogleTest or the benchmarks,
# installs into a temporary prefix, builds examples/ against the installed package with CMake
# (shared, then static) and with pkg-config on plain compiler command lines, runs the programs
# on a signal, and checks that the shared library exports exactly the header's functions.
#   usage: scripts/test_library.sh [BUILD_DIR]
# With BUILD_DIR (a build that holds libkestova already, as scripts/test.sh passes) the lean
# configuration is only configured, and the libraries are installed from BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
jobs=$(nproc)

# The library alone configures without Python, NumPy or GoogleTest.
cmake -S . -B build/library -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTOVA_BUILD_PYTHON=OFF \
  -DKESTOVA_BUILD_TESTS=OFF -DKESTOVA_BUILD_BENCH=OFF >/dev/null
if [ -z "$build" ]; then
  build=build/library
  cmake --build "$build" -j "$jobs" --target kestova_shared kestova_static
fi
cmake --install "$build" --prefix "$prefix" >/dev/null
library=$(find "$prefix" -name libkestova.so.0 | head -n 1)
libdir=$(dirname "$library")

signal=tests/fixtures/codec/sine-65537.f32
# Runs compress_f32 and decode_kst from directory $1 on the signal; the decoded file must hold
# as many float32 samples as the input.
run_examples() {
  local bin=$1
  "$bin/compress_f32" "$signal" "$work/signal.kst" >/dev/null
  "$bin/decode_kst" "$work/signal.kst" "$work/signal.f32" >/dev/null
  if [ "$(stat -c %s "$work/signal.f32")" != "$(stat -c %s "$signal")" ]; then
    echo "FAIL: $bin: the decoded signal has another length" >&2
    exit 1
  fi
  if "$bin/decode_kst" "$signal" "$work/garbage.f32" 2>/dev/null; then
    echo "FAIL: $bin: decode_kst accepted a file that is no stream" >&2
    exit 1
  fi
  echo "-- $2: $(stat -c %s "$signal") bytes of float32 -> $(stat -c %s "$work/signal.kst") bytes"
}

for linkage in shared static; do
  static=OFF
  [ "$linkage" = static ] && static=ON
  cmake -S examples -B "$work/cmake-$linkage" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" -DKESTOVA_EXAMPLES_STATIC=$static >/dev/null
  cmake --build "$work/cmake-$linkage" >/dev/null
  run_examples "$work/cmake-$linkage" "CMake, $linkage library"
done

export PKG_CONFIG_PATH="$libdir/pkgconfig"
mkdir -p "$work/pkg-config"
# shellcheck disable=SC2046  # pkg-config prints several words
cc -std=c11 -O2 examples/compress_f32.c $(pkg-config --cflags --libs kestova) \
  -o "$work/pkg-config/compress_f32"
# shellcheck disable=SC2046
c++ -std=c++23 -O2 examples/decode_kst.cpp $(pkg-config --cflags --libs kestova) \
  -o "$work/pkg-config/decode_kst"
LD_LIBRARY_PATH="$libdir" run_examples "$work/pkg-config" "pkg-config, shared library"

# The shared library's exports are exactly the functions the header declares.
readelf -d "$library" | grep -q 'SONAME.*\[libkestova\.so\.0\]'
nm -D --defined-only "$library" | awk '{print $3}' | sort >"$work/exported"
grep -oE '\bkestova_[a-z0-9_]+\(' include/kestova/kestova.h | tr -d '(' | sort -u >"$work/declared"
if ! diff "$work/declared" "$work/exported"; then
  echo "FAIL: the exported symbols differ from the header's functions (< header, > library)" >&2
  exit 1
fi
echo "-- $(wc -l <"$work/exported") exported symbols, all declared in kestova.h; SONAME libkestova.so.0"
