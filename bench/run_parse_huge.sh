#!/usr/bin/env bash
# Parses single messages of 20 MB in several shapes with `quillmer-cli parse`
# and prints the time and peak memory of each: the line queue holds at most
# its budget, so memory stays a few megabytes and time grows linearly.
# The optional argument is the size in MB (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build/quillmer-cli ] || tools/build.sh >/dev/null
mb=${1:-20}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
head='From: a@example.org
To: b@example.org
Subject: huge
'
{ printf '%s\n' "$head"; echo text; head -c $((mb * 1024 * 1024)) /dev/zero | tr '\0' '\n'; } > "$dir/empty-lines.eml"
{ printf '%s\n' "$head"; head -c $((mb * 1024 * 1024)) /dev/zero | tr '\0' 'x'; echo; } > "$dir/one-long-line.eml"
{ printf '%sContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\n' "$head"
  head -c $((mb * 1024 * 768)) /dev/urandom | base64 -w 76
  printf -- '--b\nContent-Type: text/plain\n\ntext after\n--b--\n'; } > "$dir/base64-attachment.eml"
{ printf '%sContent-Transfer-Encoding: quoted-printable\n\n' "$head"
  { yes 'caf=C3=A9 and more text on a line of quoted-printable here=' || true; } | head -c $((mb * 1024 * 1024)); echo; } > "$dir/quoted-printable.eml"
printf '%-22s %10s %12s\n' shape seconds "peak KB"
for f in "$dir"/*.eml; do
    /usr/bin/time -f '%e %M' -o "$dir/t" build/quillmer-cli parse "$f" >/dev/null
    read -r sec kb < "$dir/t"
    printf '%-22s %10s %12s\n' "$(basename "$f" .eml)" "$sec" "$kb"
done
