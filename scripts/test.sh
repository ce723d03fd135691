#!/usr/bin/env bash
# Runs every test from a fresh clone: the C++ suite (plain, then under ASan/UBSan), the check for
# vector code reachable from portable callers in a debug build, each fuzz target for a bounded
# time, the x86_64 manylinux wheel (scripts/wheels.sh) compared with a g++ build of the sdist, the
# Python tests against that wheel under NumPy 2 and NumPy 1.26, and the aarch64 leg under
# qemu-aarch64 (scripts/test_aarch64.sh).
# FUZZ_SECONDS (default 60) bounds each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/lib.sh
# The test toolchain: GoogleTest, clang for the fuzz targets, HDF5 1.10's tools (h5dump,
# h5repack) for the HDF5 filter; a second venv with NumPy 1.26.
install_debian_packages libgtest-dev clang-16 libclang-rt-16-dev hdf5-tools
make_venv .venv-numpy1 -r requirements-dev.txt "numpy>=1.26,<2"

export PATH="$PWD/.venv/bin:$PATH"
JOBS=$(nproc)
FUZZ_SECONDS=${FUZZ_SECONDS:-60}

echo "== C++ tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$JOBS"
ctest --test-dir build/release --output-on-failure -j "$JOBS"

echo "== the C library"
bash scripts/test_library.sh build/release

echo "== instruction-set symbol check of a debug build"
cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTOVA_BUILD_BENCH=OFF >/dev/null
cmake --build build/debug -j "$JOBS" --target kestova_tests
ctest --test-dir build/debug --output-on-failure -R '^isa_symbols$'

echo "== C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTOVA_SANITIZE=ON \
  -DKESTOVA_BUILD_BENCH=OFF >/dev/null
cmake --build build/sanitize -j "$JOBS"
ctest --test-dir build/sanitize --output-on-failure -j "$JOBS"

if compgen -G "tests/fuzz/fuzz_*.cpp" >/dev/null; then
  echo "== fuzz targets, ${FUZZ_SECONDS}s each"
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTOVA_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++-16 >/dev/null
  cmake --build build/fuzz -j "$JOBS"
  bash scripts/fuzz.sh build/fuzz "$FUZZ_SECONDS"
fi

if compgen -G "python/*.cpp" >/dev/null; then
  echo "== the manylinux wheel and the sdist (scripts/wheels.sh)"
  pyver=$(python -c 'import sys; print("%d.%d" % sys.version_info[:2])')
  bash scripts/wheels.sh --arch x86_64 --python "$pyver"
  version=$(python -c 'import tomllib; print(tomllib.load(open("pyproject.toml", "rb"))["project"]["version"])')
  sdist=dist/kestova-$version.tar.gz
  wheel=$(ls -t dist/kestova-"$version"-cp"${pyver/./}"-*manylinux_2_17_x86_64.whl | head -n 1)
  # The same sources built by g++ from the sdist: the wheel must write the same streams and
  # decode the same values on the golden fixtures (on this processor's path).
  rm -rf build/gxx-wheel
  python -m pip wheel -q --no-deps -w build/gxx-wheel "$sdist"
  python -m pip install -q --force-reinstall --no-deps build/gxx-wheel/kestova-*.whl
  python tests/python/module/golden_fixtures.py >build/golden-gxx.txt

  echo "== Python tests against the manylinux wheel"
  for venv in .venv .venv-numpy1; do
    # The array-store and HDF5 extras (numcodecs, zarr, xarray, Dask, h5py) and pynwb for the
    # NWB test, keeping the venv's NumPy.
    numpy_pin="numpy==$("$venv/bin/python" -c 'import numpy; print(numpy.__version__)')"
    "$venv/bin/python" -m pip install -q "$wheel[dask,hdf5,audio,edf,seismic]" pynwb "$numpy_pin"
    "$venv/bin/python" -m pip install -q --force-reinstall --no-deps "$wheel"
    echo "-- $("$venv/bin/python" -c 'import numpy; print("NumPy", numpy.__version__)')"
    "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python
  done
  .venv/bin/python tests/python/module/golden_fixtures.py >build/golden-wheel.txt
  diff build/golden-gxx.txt build/golden-wheel.txt
  echo "-- golden fixtures: the wheel and the g++ build agree on $(wc -l <build/golden-wheel.txt) containers"
fi

echo "== the aarch64 leg under qemu-aarch64"
bash scripts/test_aarch64.sh
