#!/usr/bin/env bash
# Builds and runs the benchmarks, printing their figures. Optional arguments
# are record counts for the record store benchmark (default 100000 1000000).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
echo "== record store"
build/bench/bench_store "$dir/store" "$@"
for b in build/bench/bench_*; do
  case "$(basename "$b")" in bench_store) continue ;; esac
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$dir/$(basename "$b")"
done
