#!/usr/bin/env bash
# Builds and installs the kestova wheel's contents into .venv, only when a source file changed
# since the last install (or the installed module is missing). The build directory is kept
# (build/<wheel tag>), so a change recompiles only what it touches.
set -euo pipefail
cd "$(dirname "$0")/.."
stamp=.venv/kestova-sources.sha256

sources_digest() {  # paths, sizes and modification times of everything the wheel is built from
  find pyproject.toml CMakeLists.txt engine codec python kestova_* -type f \
       -not -name '*.pyc' -printf '%p %s %T@\n' | LC_ALL=C sort | sha256sum
}

digest=$(sources_digest)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$digest" ] && .venv/bin/python -c "import kestova" 2>/dev/null; then
  exit 0
fi
echo "== building and installing kestova"
rm -f "$stamp"
.venv/bin/python -m pip install -q --no-deps --no-build-isolation .
echo "$digest" > "$stamp"
