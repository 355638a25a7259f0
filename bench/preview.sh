#!/usr/bin/env bash
# Whole-process times of the command-line preview against openpyxl and xlrd
# reading the same 50,000-row files (BENCHMARKS.md). The samples are the ones
# veva_bench_imports writes:
#     build/bin/veva_bench_imports /tmp/bench-files
#     bench/preview.sh build/bin /tmp/bench-files [rounds]
set -euo pipefail
bin=$1
files=$2
rounds=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)
# Debian's own interpreter: its modules are the ones installed from the archive.
py=/usr/bin/python3

run() {
    local label=$1
    shift
    for ((i = 1; i <= rounds; i++)); do
        /usr/bin/time -f "$label	%e s wall	%U+%S s CPU	%M KB peak" "$@" > /dev/null 2>> /tmp/preview-times.$$ || true
    done
    grep -F "$label	" /tmp/preview-times.$$ | sort -t'	' -k2 -n | sed -n "$(((rounds + 1) / 2))p"
}
rm -f /tmp/preview-times.$$
echo "median of $rounds runs:"
for f in contacts.xlsx contacts.xls; do
    run "veva-sms --preview $f" "$bin/veva-sms" --preview "$files/$f" --columns 1 --skip-duplicates
    run "veva-sms --preview $f --why" "$bin/veva-sms" --preview "$files/$f" --columns 1 --skip-duplicates --why
done
run "openpyxl contacts.xlsx" "$py" "$here/xlsx_openpyxl.py" "$files/contacts.xlsx"
run "xlrd contacts.xls" "$py" "$here/xls_xlrd.py" "$files/contacts.xls"
rm -f /tmp/preview-times.$$
