#!/usr/bin/env bash
# Builds Quillmer and runs the word index and search benchmark on generated
# real-shaped mails: import, index --full with its peak memory and size on
# disk, a one-word search and an AND of two words (warm, hits listed), and
# index --partial after 1,000 new mails; mairix and notmuch index the same
# mails in the same run when installed, and the ratios are printed. The
# optional argument is the number of mails (default 10000; the goals are
# also stated for 50000).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
build/bench/bench_index "$dir" "${1:-10000}"
