#!/usr/bin/env bash
# Builds a fresh demo installation under ./demo: a mail database, then an
# import of a small mixed file of forum messages, mail and news (read by the
# diagnostic fixture reader until the real format readers arrive), and shows
# what the archive holds.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/quillmer-cli
home=demo
rm -rf "$home"
"$cli" --home "$home" init
"$cli" --home "$home" db add-mail "Anna Lee" anna@example.com
echo
echo "== Importing tests/data/testreader/forum-mail-news-mixed.fix"
"$cli" --home "$home" import --type "Test Fixture" --into "Gardening" --mailbox "Anna Lee" \
  tests/data/testreader/forum-mail-news-mixed.fix 2>&1 | grep -v -E '^(Pre-import|Importing|Counting|Building)'
echo
echo "== Catalogue"
"$cli" --home "$home" db list
echo
echo "== Forum messages in Gardening, newest first"
"$cli" --home "$home" messages Gardening
echo
echo "== Mail of Anna Lee"
"$cli" --home "$home" messages "Anna Lee"
