#!/usr/bin/env bash
# Creates a demo installation under ./demo and shows what Quillmer holds.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/quillmer-cli
home=demo
mkdir -p "$home"
"$cli" --home "$home" init
echo
echo "Catalogue of $home:"
"$cli" --home "$home" db list
