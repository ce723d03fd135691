#!/usr/bin/env bash
# Installs what building the module and running the demo need: a C++ compiler, the headers of
# zlib and libdeflate, and the project-local virtual environment .venv (build tools, NumPy 2,
# pytest, matplotlib).
# scripts/test.sh adds the test toolchain on top. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

install_debian_packages g++ zlib1g-dev libdeflate-dev
make_venv .venv -r requirements-dev.txt
