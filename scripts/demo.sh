#!/usr/bin/env bash
# The main job: checks its arguments, installs what it needs (a C++ compiler, zlib's headers,
# .venv), builds and installs the kestova module when its sources changed, then compresses a
# built-in ECG-like signal (and any .wav or .npy files given) with every method and coder.
# Arguments go to demo/demo.py, e.g. `./scripts/demo.sh recording.wav --plot out.png`; file paths
# are taken relative to the directory the script is called from.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# The project's environment, once built, knows the codec's scales and cutoffs.
checker=python3
"$root/.venv/bin/python" -c "import kestova_codecs.tables" 2>/dev/null && checker="$root/.venv/bin/python"
"$checker" "$root/demo/arguments.py" "$@"
(
  cd "$root"
  bash scripts/setup.sh
  .venv/bin/python -m pip install -q -r demo/requirements.txt
  bash scripts/install.sh
)
exec "$root/.venv/bin/python" "$root/demo/demo.py" "$@"
