#!/usr/bin/env bash
# The aarch64 leg, under qemu-aarch64 on this x86-64 machine: the C++ suite built by zig for
# aarch64, then the aarch64 wheel (built by scripts/wheels.sh) imported by Debian's arm64 CPython
# 3.11, unpacked from its packages into build/aarch64/root (no chroot, no binfmt registration),
# running the tests that need no subprocess: round trips on every method and coder and the golden
# fixtures' digests and streams. Prints how long each part took.
set -euo pipefail
cd "$(dirname "$0")/.."
root_dir=$PWD
source scripts/lib.sh
install_debian_packages qemu-user dpkg-dev cmake googletest

work=$root_dir/build/aarch64
mkdir -p "$work"
start=$SECONDS

echo "== the aarch64 wheel"
bash scripts/wheels.sh --arch aarch64 --python 3.11 --no-sdist
wheel=$(ls dist/kestova-*-cp311-*aarch64.whl | head -n 1)
wheels=$root_dir/build/wheels
built=$SECONDS

echo "== Debian's arm64 CPython 3.11 in $work/root"
sysroot=$work/root
if [ ! -x "$sysroot/usr/bin/python3.11" ]; then
  apt_dir=$work/apt
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work/debs"
  cp /etc/apt/sources.list.d/*.sources "$apt_dir/sources.list.d/" 2>/dev/null || true
  [ -f /etc/apt/sources.list ] && cp /etc/apt/sources.list "$apt_dir/sources.list.d/main.list"
  apt_options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources.list.d"
               -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
               -o Dir::State::status=/dev/null -o APT::Architecture=arm64
               -o APT::Architectures::=arm64 -o APT::Sandbox::User=root -o Debug::NoLocking=1)
  apt-get "${apt_options[@]}" update >"$work/apt.log" 2>&1
  # The interpreter's run-time closure, without the packaging tools it never calls.
  packages=$(apt-cache "${apt_options[@]}" depends --recurse --no-recommends --no-suggests \
               --no-conflicts --no-breaks --no-replaces --no-enhances --no-pre-depends \
               python3.11-minimal libpython3.11-stdlib 2>/dev/null | grep -v '^ \|<' | sort -u |
             grep -Ev '^(dpkg|perl.*|libperl.*|tar|install-info|mailcap|mime-support)$')
  (cd "$work/debs" && apt-get "${apt_options[@]}" download $packages) >>"$work/apt.log" 2>&1
  rm -rf "$sysroot"
  for deb in "$work/debs"/*.deb; do dpkg -x "$deb" "$sysroot"; done
fi
site=$work/site
rm -rf "$site"
"$wheels/tools/bin/python" -m pip install -q --target "$site" --platform manylinux2014_aarch64 \
  --python-version 3.11 --only-binary=:all: "numpy>=1.26" "pytest>=7"
"$wheels/tools/bin/python" -m pip install -q --target "$site" --no-deps --platform manylinux2014_aarch64 \
  --python-version 3.11 --only-binary=:all: "$wheel"
arm_python=(qemu-aarch64 -L "$sysroot" "$sysroot/usr/bin/python3.11")
prepared=$SECONDS

echo "== C++ suite for aarch64 under qemu-aarch64"
# GoogleTest from Debian's source copy, built for aarch64 by the same compiler.
toolchain=$wheels/toolchain-aarch64.cmake
gtest=$wheels/deps/aarch64
if [ ! -f "$gtest/lib/libgtest.a" ]; then
  CC=$wheels/bin/cc-aarch64 CXX=$wheels/bin/c++-aarch64 cmake -S /usr/src/googletest \
    -B "$work/googletest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DBUILD_GMOCK=OFF \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$gtest" -DCMAKE_AR="$wheels/bin/ar" \
    -DCMAKE_RANLIB="$wheels/bin/ranlib" >"$work/googletest.log"
  cmake --build "$work/googletest" --target install >>"$work/googletest.log"
fi
CC=$wheels/bin/cc-aarch64 CXX=$wheels/bin/c++-aarch64 cmake -S . -B "$work/tests" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$gtest" -DZLIB_ROOT="$gtest" \
  -DCMAKE_AR="$wheels/bin/ar" -DCMAKE_RANLIB="$wheels/bin/ranlib" -DKESTOVA_BUILD_BENCH=OFF \
  -DCMAKE_CROSSCOMPILING_EMULATOR="qemu-aarch64;-L;$sysroot" >"$work/cmake.log"
cmake --build "$work/tests" -j "$(nproc)" --target kestova_tests
# The fuzz regression test finds its inputs relative to a build folder two levels down.
mkdir -p build/aarch64-run
(cd build/aarch64-run && qemu-aarch64 -L "$sysroot" "$work/tests/kestova_tests" --gtest_brief=1)
cpp_done=$SECONDS

echo "== the aarch64 wheel under Debian's arm64 CPython (round trips, golden fixtures)"
(cd tests/python && PYTHONPATH="$site" PYTHONDONTWRITEBYTECODE=1 "${arm_python[@]}" -m pytest -q \
   -p no:cacheprovider module/test_golden_fixtures.py module/test_signal.py module/test_options.py)
echo "-- aarch64 timings: wheel ${built}s, CPython root and packages $((prepared - built))s," \
     "C++ suite $((cpp_done - prepared))s, Python tests $((SECONDS - cpp_done))s"
