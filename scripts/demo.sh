#!/usr/bin/env bash
# The main job: installs what it needs, builds and installs the kestova wheel into .venv, then
# compresses a built-in ECG-like signal (and any .wav or .npy files given) with every method and
# coder. Arguments go to demo/demo.py, e.g. `./scripts/demo.sh recording.wav --plot out.png`;
# file paths are taken relative to the directory the script is called from.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
(
  cd "$root"
  bash scripts/setup.sh
  .venv/bin/python -m pip install -q -r demo/requirements.txt
  rm -rf dist
  .venv/bin/python -m pip wheel -q --no-deps -w dist .
  .venv/bin/python -m pip install -q --force-reinstall --no-deps dist/kestova-*.whl
)
exec "$root/.venv/bin/python" "$root/demo/demo.py" "$@"
