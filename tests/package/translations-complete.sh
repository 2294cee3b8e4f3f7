#!/usr/bin/env bash
# Every text of the sources has a finished translation in each catalogue: a copy of the catalogue is
# brought up to date with the sources (the files in the repository stay as they are) and compiled.
# Usage: translations-complete.sh LUPDATE LRELEASE SOURCE_DIR
set -euo pipefail
lupdate=$1 lrelease=$2 repo=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for catalogue in "$repo"/i18n/*.ts; do
    copy=$work/$(basename "$catalogue")
    cp "$catalogue" "$copy"
    "$lupdate" -silent -locations none -no-obsolete "$repo/src" "$repo/qml" -ts "$copy"
    report=$("$lrelease" "$copy" -qm "$work/out.qm")
    echo "$report"
    if ! grep -q " 0 unfinished" <<<"$report" || grep -q "untranslated" <<<"$report"; then
        echo "$(basename "$catalogue") is not complete:" >&2
        grep -B3 'type="unfinished"' "$copy" | grep '<source>' >&2 || true
        status=1
    fi
done
exit $status
