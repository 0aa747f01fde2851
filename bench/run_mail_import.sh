#!/usr/bin/env bash
# Mail import speed: generates "From " mailboxes of 10,000, 50,000 and
# 100,000 realistic mails (bench/gen_mailbox.py, about 9 KB a mail) and times
#   quillmer-cli import --type "Generic Mail Type 2"
# into a new mail database, printing mails per second and peak memory. When
# mairix is installed it indexes the same mailboxes in the same run, and the
# ratio of the two times is printed. mairix refuses a mailbox of more than
# 65,536 mails, so every mailbox is written as files of at most 50,000 mails
# (both programs read the same files).
# Wall time on a shared machine swings with the load of others, so the CPU
# time (user + system) of both programs and its ratio are printed as well.
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

printf '%-8s %-6s %8s %8s %9s %8s %9s %9s %9s %7s %7s\n' mails MB ours_s ours_cpu mails/s ours_MB mairix_s mairix_cpu mairix_MB ratio cpu_rat
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
    /usr/bin/time -f '%e %U %S %M' -o "$dir/time-ours" \
        "$cli" --home "$home" import --type "Generic Mail Type 2" --mailbox Owner "${files[@]}" \
        >"$dir/out-ours" 2>&1 || { echo "import failed:"; tail -5 "$dir/out-ours"; exit 1; }
    read -r ours_s ours_u ours_sys ours_kb < "$dir/time-ours"
    ours_cpu=$(awk -v u="$ours_u" -v s="$ours_sys" 'BEGIN { printf "%.2f", u + s }')
    imported=$(grep -o 'imported [0-9]*' "$dir/out-ours" | tail -1 | cut -d' ' -f2)
    rate=$(awk -v n="${imported:-0}" -v s="$ours_s" 'BEGIN { printf "%.0f", (s > 0 ? n / s : 0) }')
    ours_mb=$(( ours_kb / 1024 ))

    mairix_s=-; mairix_cpu=-; mairix_mb=-; ratio=-; cpu_ratio=-
    if command -v mairix >/dev/null; then
        rc="$dir/mairixrc-$n"
        list=$(IFS=:; echo "${files[*]##*/}")
        printf 'base=%s\nmbox=%s\ndatabase=%s/mairix-%s.db\nmfolder=%s/mf-%s\n' \
            "$dir" "$list" "$dir" "$n" "$dir" "$n" > "$rc"
        /usr/bin/time -f '%e %U %S %M' -o "$dir/time-mairix" mairix -f "$rc" >/dev/null 2>&1 || true
        read -r mairix_s mairix_u mairix_sys mairix_kb < "$dir/time-mairix"
        mairix_cpu=$(awk -v u="$mairix_u" -v s="$mairix_sys" 'BEGIN { printf "%.2f", u + s }')
        mairix_mb=$(( mairix_kb / 1024 ))
        ratio=$(awk -v a="$ours_s" -v b="$mairix_s" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
        cpu_ratio=$(awk -v a="$ours_cpu" -v b="$mairix_cpu" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    fi
    printf '%-8s %-6s %8s %8s %9s %8s %9s %9s %9s %7s %7s\n' "$n" "$mb" "$ours_s" "$ours_cpu" "$rate" "$ours_mb" \
        "$mairix_s" "$mairix_cpu" "$mairix_mb" "$ratio" "$cpu_ratio"
    rm -rf "$home" "${files[@]}"
done
echo "ratio = our wall time / mairix wall time, cpu_rat = the same for user + system CPU time (below 1: faster than mairix); imported mails: ${imported:-?} in the last run"
