#!/usr/bin/env bash
# Installs what building and testing need: Debian packages (when missing) and two project-local
# virtual environments (.venv with NumPy 2, .venv-numpy1 with NumPy 1.26). Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

DEBIAN_PACKAGES=(g++ zlib1g-dev libgtest-dev clang-16 libclang-rt-16-dev)
missing=()
for pkg in "${DEBIAN_PACKAGES[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing Debian packages: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

make_venv() {  # make_venv DIR REQUIREMENTS...
  local dir=$1; shift
  if [ ! -x "$dir/bin/python" ]; then
    python3 -m venv "$dir"
  fi
  "$dir/bin/python" -m pip install -q --upgrade pip
  "$dir/bin/python" -m pip install -q "$@"
}

make_venv .venv -r requirements-dev.txt
make_venv .venv-numpy1 -r requirements-dev.txt "numpy>=1.26,<2"
