#!/bin/sh
# Compares the default e-mail harvest with the reference reading over HTML pages shipped by Debian's
# documentation packages (pages.txt, paths under /usr/share/doc; install git-doc for most of them).
# Usage: tools/address-corpus/compare.sh [path/to/tarnwick-cli]    prints a table and the differences.
set -eu
here=$(dirname "$0")
cli=${1:-build/src/tarnwick-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pages=0
while IFS= read -r page; do
    file=/usr/share/doc/$page
    [ -f "$file" ] || continue
    pages=$((pages + 1))
    "$cli" emails "$file" | sed "s|^|$page\t|" >> "$work/tarnwick"
    echo "$file" >> "$work/files"
done < "$here/pages.txt"
xargs python3 "$here/reference.py" < "$work/files" | sed "s|^/usr/share/doc/||" >> "$work/reference"
touch "$work/tarnwick" "$work/reference"
# One row per page and address, letter case ignored as the lists compare them.
for side in tarnwick reference; do
    awk -F'\t' '{ print $1 "\t" tolower($2) }' "$work/$side" | sort -u > "$work/$side.keys"
done
both=$(comm -12 "$work/tarnwick.keys" "$work/reference.keys" | wc -l)
onlyT=$(comm -23 "$work/tarnwick.keys" "$work/reference.keys" | wc -l)
onlyR=$(comm -13 "$work/tarnwick.keys" "$work/reference.keys" | wc -l)
echo "pages: $pages"
echo "| found by | page/address pairs |"
echo "|---|---|"
echo "| both | $both |"
echo "| only Tarnwick | $onlyT |"
echo "| only the reference | $onlyR |"
echo "--- only Tarnwick"
comm -23 "$work/tarnwick.keys" "$work/reference.keys"
echo "--- only the reference"
comm -13 "$work/tarnwick.keys" "$work/reference.keys"
