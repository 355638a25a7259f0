#!/usr/bin/env bash
# Whole-process time and peak memory of the command-line preview on .xlsx files
# of 50,000 and 1,000,000 rows (a number and a name each), beside the floor (only
# inflating the parts and counting their bytes) and other readers of the same
# files: openpyxl and xlrd 1.2 (Debian's /usr/bin/python3), Gnumeric's ssconvert
# and LibreOffice, both converting to CSV. Figures in BENCHMARKS.md.
#     build/bin/veva_bench_xlsx --write-sample /tmp/xlsx/c50k.xlsx
#     build/bin/veva_bench_xlsx --write-sample /tmp/xlsx/c1m.xlsx 1000000
#     bench/preview_sizes.sh /tmp/xlsx "old/veva-sms build/bin/veva-sms" [rounds] [others]
# `others` (yes/no, default yes) runs the other readers too, once per file on
# the 1,000,000-row one: they take tens of seconds there.
set -euo pipefail
files=$1
read -r -a programs <<< "$2"
rounds=${3:-5}
others=${4:-yes}
here=$(cd "$(dirname "$0")" && pwd)
py=/usr/bin/python3
log=$(mktemp)
out=$(mktemp -d)
trap 'rm -rf "$log" "$out"' EXIT

# The median run by wall time: label, wall, CPU (user+sys), peak resident size.
run() {
    local label=$1 n=$2
    shift 2
    : > "$log"
    for ((i = 1; i <= n; i++)); do
        /usr/bin/time -f "%e %U %S %M" -a -o "$log" "$@" > /dev/null 2>&1 || true
    done
    sort -n "$log" | sed -n "$(((n + 1) / 2))p" |
        awk -v l="$label" '{ printf "%-52s %7.2f s wall %7.2f s CPU %8.1f MiB peak\n", l, $1, $2 + $3, $4 / 1024 }'
}

echo "load: $(cut -d' ' -f1-3 /proc/loadavg); median of $rounds runs (others: 1 run on the 1,000,000-row file)"
for f in "$files"/*.xlsx; do
    name=$(basename "$f")
    slow=$rounds
    if [ "$(unzip -p "$f" xl/worksheets/sheet1.xml | wc -c)" -gt 20000000 ]; then
        slow=1
    fi
    run "floor: inflate sheet1.xml, count bytes  $name" "$rounds" sh -c "unzip -p '$f' xl/worksheets/sheet1.xml | wc -c"
    run "floor: inflate every part, count bytes  $name" "$rounds" sh -c "unzip -p '$f' | wc -c"
    for p in "${programs[@]}"; do
        run "$p --preview $name" "$rounds" "$p" --preview "$f" --columns 1,2
    done
    if [ "$others" = yes ]; then
        run "openpyxl (read-only) $name" "$slow" "$py" "$here/xlsx_openpyxl.py" "$f"
        run "xlrd 1.2 $name" "$slow" "$py" "$here/xls_xlrd.py" "$f"
        run "ssconvert to CSV $name" "$slow" ssconvert "$f" "$out/ss.csv"
        run "soffice --headless --convert-to csv $name" "$slow" \
            soffice -env:UserInstallation=file://"$out"/lo --headless --convert-to csv --outdir "$out" "$f"
    fi
done
