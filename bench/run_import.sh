#!/usr/bin/env bash
# Builds Quillmer and runs the import benchmark: messages stored per second
# for staged mails and staged forum messages, into an empty and into a
# half-full database, with the peak memory of each run. The optional argument
# is the number of messages per run (default 100000).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
build/bench/bench_import "$dir" "${1:-100000}"
