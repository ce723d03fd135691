#!/usr/bin/env bash
# Runs the fuzz targets in BUILD_DIR for SECONDS each (all of them, or the TARGETs named), each
# from its stored regression inputs plus what its seed generator writes; any crash, leak,
# sanitizer report or broken check fails the run. New corpus entries stay in BUILD_DIR.
#   usage: scripts/fuzz.sh BUILD_DIR SECONDS [TARGET...]
# A long run of one target, e.g. an hour of the container decoder:
#   scripts/fuzz.sh build/fuzz 3600 fuzz_decompress
set -euo pipefail
build=$1
seconds=$2
shift 2
regressions="$(dirname "$0")/../tests/fuzz/regressions"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for target in "$build"/fuzz_*; do [ -x "$target" ] && targets+=("$(basename "$target")"); done
fi
status=0
for name in "${targets[@]}"; do
  target="$build/$name"
  corpus="$build/corpus-$name"
  mkdir -p "$corpus"
  seeder="$build/seed_${name#fuzz_}"
  if [ -x "$seeder" ]; then "$seeder" "$corpus" >/dev/null; fi
  # Whole 64 KiB signals reach eight levels and the range-ANS coder's wide context.
  max_len=()
  if [ "$name" = fuzz_compress ]; then max_len=(-max_len=65538); fi
  echo "-- $name"
  if ! "$target" "$corpus" "$regressions/$name" "${max_len[@]}" -max_total_time="$seconds" \
       -rss_limit_mb=4096 -timeout=20 -print_final_stats=1 -artifact_prefix="$build/$name-" \
       2>"$build/$name.log"; then
    tail -n 60 "$build/$name.log"
    status=1
  else
    grep -E '^Done|stat::number_of_executed_units' "$build/$name.log" | tail -n 2 || true
  fi
done
exit $status
