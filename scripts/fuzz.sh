#!/usr/bin/env bash
# Runs every fuzz target in BUILD_DIR for SECONDS each, seeded by its seed generator when there
# is one; any crash, leak or sanitizer report fails the run.
set -euo pipefail
build=$1
seconds=$2
status=0
for target in "$build"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$build/corpus-$name"
  mkdir -p "$corpus"
  seeder="$build/seed_${name#fuzz_}"
  if [ -x "$seeder" ]; then "$seeder" "$corpus"; fi
  echo "-- $name"
  if ! "$target" "$corpus" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=20 \
       -print_final_stats=0 -artifact_prefix="$build/$name-" 2>"$build/$name.log"; then
    tail -n 60 "$build/$name.log"
    status=1
  else
    grep -E '^Done|#[0-9]+.*DONE' "$build/$name.log" | tail -n 1 || true
  fi
done
exit $status
