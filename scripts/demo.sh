#!/usr/bin/env bash
# The main job: builds the engine and runs its benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export PATH="$PWD/.venv/bin:$PATH"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)"
for b in build/release/bench_*; do [ -x "$b" ] && "$b"; done
