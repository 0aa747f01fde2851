#!/usr/bin/env bash
# Mail import speed: generates "From " mailboxes of 10,000, 50,000 and
# 100,000 realistic mails (bench/gen_mailbox.py, about 9 KB a mail) and times
#   quillmer-cli import --type "Generic Mail Type 2"
# into a new mail database, printing mails per second and peak memory. When
# mairix is installed it indexes the same mailboxes in the same run, and the
# ratio of the two times is printed. mairix refuses a mailbox of more than
# 65,536 mails, so every mailbox is written as files of at most 50,000 mails
# (both programs read the same files).
# Optional arguments: the sizes to run (default "10000 50000 100000").
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
[ -x build/quillmer-cli ] || tools/build.sh >/dev/null
cli="$root/build/quillmer-cli"
sizes=${*:-"10000 50000 100000"}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
chunk=50000

printf '%-8s %-8s %10s %10s %10s %10s %10s %8s\n' mails MB ours_s mails/s ours_MB mairix_s mairix_MB ratio
for n in $sizes; do
    files=()
    left=$n
    seed=1
    while [ "$left" -gt 0 ]; do
        take=$(( left < chunk ? left : chunk ))
        f="$dir/box-$n-$seed.mbox"
        python3 bench/gen_mailbox.py "$take" "$seed" > "$f"
        files+=("$f")
        left=$(( left - take ))
        seed=$(( seed + 1 ))
    done
    mb=$(du -cm "${files[@]}" | tail -1 | cut -f1)

    home="$dir/home-$n"
    "$cli" --home "$home" init >/dev/null 2>&1
    "$cli" --home "$home" db add-mail Owner owner@example.org >/dev/null 2>&1
    /usr/bin/time -f '%e %M' -o "$dir/time-ours" \
        "$cli" --home "$home" import --type "Generic Mail Type 2" --mailbox Owner "${files[@]}" \
        >"$dir/out-ours" 2>&1 || { echo "import failed:"; tail -5 "$dir/out-ours"; exit 1; }
    read -r ours_s ours_kb < "$dir/time-ours"
    imported=$(grep -o 'imported [0-9]*' "$dir/out-ours" | tail -1 | cut -d' ' -f2)
    rate=$(awk -v n="${imported:-0}" -v s="$ours_s" 'BEGIN { printf "%.0f", (s > 0 ? n / s : 0) }')
    ours_mb=$(( ours_kb / 1024 ))

    mairix_s=-; mairix_mb=-; ratio=-
    if command -v mairix >/dev/null; then
        rc="$dir/mairixrc-$n"
        list=$(IFS=:; echo "${files[*]##*/}")
        printf 'base=%s\nmbox=%s\ndatabase=%s/mairix-%s.db\nmfolder=%s/mf-%s\n' \
            "$dir" "$list" "$dir" "$n" "$dir" "$n" > "$rc"
        /usr/bin/time -f '%e %M' -o "$dir/time-mairix" mairix -f "$rc" >/dev/null 2>&1 || true
        read -r mairix_s mairix_kb < "$dir/time-mairix"
        mairix_mb=$(( mairix_kb / 1024 ))
        ratio=$(awk -v a="$ours_s" -v b="$mairix_s" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    fi
    printf '%-8s %-8s %10s %10s %10s %10s %10s %8s\n' "$n" "$mb" "$ours_s" "$rate" "$ours_mb" \
        "$mairix_s" "$mairix_mb" "$ratio"
    rm -rf "$home" "${files[@]}"
done
echo "ratio = our time / mairix time (below 1: faster than mairix); imported mails: ${imported:-?} in the last run"
