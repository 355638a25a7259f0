#!/bin/sh
# Remakes the workbooks the reader tests compare with contacts.fods, their
# source table: libreoffice.xls(x) and .ods saved by LibreOffice Calc, gnumeric.xls(x)
# by Gnumeric, which cannot read flat ODF and reads LibreOffice's .ods of it.
# Needs libreoffice-calc-nogui and gnumeric; the tests only read the results.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Both programs keep a profile in the home folder: one of their own, thrown away.
export HOME="$tmp/home"
mkdir "$HOME"

for kind in xlsx xls ods; do
    soffice --headless --convert-to "$kind" --outdir "$tmp" contacts.fods >/dev/null
done
cp "$tmp/contacts.xlsx" libreoffice.xlsx
cp "$tmp/contacts.xls" libreoffice.xls
cp "$tmp/contacts.ods" libreoffice.ods
ssconvert --export-type=Gnumeric_Excel:xlsx2 "$tmp/contacts.ods" gnumeric.xlsx 2>/dev/null
ssconvert --export-type=Gnumeric_Excel:excel_biff8 "$tmp/contacts.ods" gnumeric.xls 2>/dev/null
ls -l libreoffice.xlsx libreoffice.xls libreoffice.ods gnumeric.xlsx gnumeric.xls
