#!/usr/bin/env bash
# Builds and installs the kestova wheel's contents into .venv, only when a source file changed
# since the last install (or the installed module is missing). The build directory is kept
# (build/demo-<wheel tag>), so a change recompiles only what it touches. It is not the one that
# `pip install .` uses (build/<wheel tag>, configured with pip's isolated build tools), so
# running either never makes the other rebuild everything.
set -euo pipefail
cd "$(dirname "$0")/.."
stamp=.venv/kestova-sources.sha256

# Paths, sizes and modification times of every file the wheel may be built from: all but the
# folders of tests, documents, benchmarks, scripts and build products.
sources_digest() {
  find . -mindepth 1 \( -name '.*' -o -name build -o -name dist -o -name __pycache__ -o -name tests \
         -o -name docs -o -name bench -o -name demo -o -name scripts -o -name tools \) \
         -prune -o -type f -not -name '*.md' -printf '%p %s %T@\n' | LC_ALL=C sort | sha256sum
}

digest=$(sources_digest)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$digest" ] && .venv/bin/python -c "import kestova" 2>/dev/null; then
  exit 0
fi
echo "== building and installing kestova"
rm -f "$stamp"
.venv/bin/python -m pip install -q --no-deps --no-build-isolation -Cbuild-dir='build/demo-{wheel_tag}' .
echo "$digest" > "$stamp"
