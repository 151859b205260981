#!/usr/bin/env bash
# Checks that the release archives are reproducible: builds them a second
# time from a copy of the tracked files in another folder (so that build
# paths differ) and compares every file of dist/ byte for byte with the
# first build's. With --reuse the first build is the one scripts/package.sh
# has just left in dist/ (scripts/test.sh), otherwise it is made here.
set -euo pipefail
cd "$(dirname "$0")/.."
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
[ "${1:-}" = --reuse ] || bash scripts/package.sh >/dev/null
copy=$(mktemp -d /tmp/ramgauge-again.XXXXXX)
trap 'rm -rf "$copy"' EXIT
git ls-files -z | xargs -0 cp --parents -t "$copy"
(cd "$copy" && bash scripts/package.sh >/dev/null)
status=0
for file in dist/*; do
    if cmp -s "$file" "$copy/$file"; then
        echo "reproducible: $(basename "$file")"
    else
        echo "reproducible: $(basename "$file") DIFFERS between two builds"
        status=1
    fi
done
exit $status
