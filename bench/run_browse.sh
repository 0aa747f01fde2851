#!/usr/bin/env bash
# Builds Quillmer and runs the browse benchmark over a forum database of
# 1,000,000 messages (or the number given as the first argument): opening the
# view, scrolling, paging back from the end and jumping to dates and threads.
# The database is created on the first run and kept in build/bench-browse
# (delete that directory to start afresh).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh >/dev/null
build/bench/bench_browse "$PWD/build/bench-browse" "${1:-1000000}"
